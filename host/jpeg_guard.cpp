#include "host/jpeg_guard.h"

namespace host {

namespace {

constexpr std::uint8_t kMarker = 0xFF;
constexpr std::uint8_t kStartOfImage = 0xD8;
constexpr std::uint8_t kEndOfImage = 0xD9;
constexpr std::uint8_t kDefineHuffmanTables = 0xC4;
constexpr int kMaxCodes = 256;

// Reads like stb's stream: past the end of the file every byte is 0.
class Reader {
public:
    explicit Reader(const std::vector<std::uint8_t>& file) : file_(file) {}
    std::uint8_t byte(std::size_t at) const { return at < file_.size() ? file_[at] : 0; }
    std::size_t size() const { return file_.size(); }

private:
    const std::vector<std::uint8_t>& file_;
};

// Walks the tables of one DHT segment whose length field is at `at`; true
// when one lists more than 256 codes.
bool oversizedTableIn(const Reader& reader, std::size_t at) {
    long remaining = static_cast<long>(reader.byte(at) << 8 | reader.byte(at + 1)) - 2;
    std::size_t position = at + 2;
    while (remaining > 0) {
        position += 1;  // table class and number
        int codes = 0;
        for (int length = 0; length < 16; ++length) {
            codes += reader.byte(position++);
        }
        if (codes > kMaxCodes) {
            return true;
        }
        position += static_cast<std::size_t>(codes);
        remaining -= 17 + codes;
        if (position > reader.size() + 17 + kMaxCodes) {
            break;  // far past the end: the decoder has failed long before
        }
    }
    return false;
}

}  // namespace

bool jpegHasOversizedHuffmanTable(const std::vector<std::uint8_t>& file) {
    const Reader reader(file);
    if (file.size() < 2 || file[0] != kMarker || file[1] != kStartOfImage) {
        return false;
    }
    std::size_t at = 2;
    while (at + 1 < file.size()) {
        if (file[at] != kMarker) {
            ++at;  // entropy-coded data between markers
            continue;
        }
        const std::uint8_t marker = file[at + 1];
        const bool standalone = marker == 0x00 || marker == kMarker || (marker >= 0xD0 && marker <= 0xD7) ||
                                marker == kStartOfImage || marker == kEndOfImage;
        if (standalone) {
            at += marker == kMarker ? 1 : 2;
            continue;
        }
        if (marker == kDefineHuffmanTables && oversizedTableIn(reader, at + 2)) {
            return true;
        }
        const std::size_t length = static_cast<std::size_t>(reader.byte(at + 2) << 8 | reader.byte(at + 3));
        at += 2 + (length < 2 ? 2 : length);
    }
    return false;
}

}  // namespace host
