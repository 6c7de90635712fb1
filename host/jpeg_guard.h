#pragma once

#include <cstdint>
#include <vector>

namespace host {

// Whether `file` is a JPEG with a Huffman table that lists more than 256
// codes. stb_image 2.27 (Debian's libstb) writes such a table past the end of
// its buffers, so the host refuses these files before decoding. Follows the
// marker segments the way stb's decoder reads them, including tables that
// run past their segment.
bool jpegHasOversizedHuffmanTable(const std::vector<std::uint8_t>& file);

}  // namespace host
