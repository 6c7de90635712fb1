# SEPIA_SANITIZER instruments everything built here, third-party code included:
#   address  AddressSanitizer with UndefinedBehaviorSanitizer, no recovery
#   thread   ThreadSanitizer
#   fuzzer   as address, plus libFuzzer's coverage (clang); fuzz targets link
#            libFuzzer itself
set(SEPIA_SANITIZER "" CACHE STRING "Sanitizer build: address, thread, fuzzer or empty")

if(SEPIA_SANITIZER STREQUAL "address")
  set(sepia_sanitizer_flags -fsanitize=address,undefined -fno-sanitize-recover=all)
elseif(SEPIA_SANITIZER STREQUAL "thread")
  set(sepia_sanitizer_flags -fsanitize=thread)
elseif(SEPIA_SANITIZER STREQUAL "fuzzer")
  set(sepia_sanitizer_flags -fsanitize=address,undefined -fno-sanitize-recover=all)
  add_compile_options(-fsanitize=fuzzer-no-link)
elseif(NOT SEPIA_SANITIZER STREQUAL "")
  message(FATAL_ERROR "unknown SEPIA_SANITIZER '${SEPIA_SANITIZER}'")
endif()

if(SEPIA_SANITIZER)
  add_compile_options(${sepia_sanitizer_flags} -fno-omit-frame-pointer)
  add_link_options(${sepia_sanitizer_flags})
  # Tests shrink their sweeps where every instruction is instrumented.
  add_compile_definitions(SEPIA_SANITIZED=1)
endif()
