#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace host {

// Writes `bytes` to `path` so that `path` is either left as it was or holds
// all of them: the bytes go to a temporary file in the same folder, which is
// then renamed over `path`. Throws HostError (and leaves no temporary file)
// when the folder does not exist or any step fails.
void writeFileAtomically(const std::string& path, const std::vector<std::uint8_t>& bytes);

// The whole file, or HostError when it is missing, unreadable or larger than
// `maxBytes`.
std::vector<std::uint8_t> readWholeFile(const std::string& path, std::uint64_t maxBytes);

}  // namespace host
