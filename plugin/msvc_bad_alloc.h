#pragma once

// Raises std::bad_alloc exactly as the Visual C++ runtime raises
// `throw std::bad_alloc()`: SEH exception 0xE06D7363 with the x64 throw
// information (image-relative offsets into this DLL), catchable as
// `std::bad_alloc` and as `std::exception`, whose object has Microsoft's
// layout (table pointer, message pointer, ownership flag) and whose what()
// returns "bad allocation". The object lives in this function's frame, as a
// thrown object lives in its thrower's frame, so raising allocates nothing.
// Windows only; never returns.
[[noreturn]] void raiseMsvcBadAlloc();
