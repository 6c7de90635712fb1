#include "host/image/jpeg_metadata.h"

#include <nettle/md5.h>

#include <algorithm>
#include <map>
#include <stdexcept>

#include "host/metadata/exiv2_session.h"

namespace host {

namespace {

std::string md5Hex(const std::string& text) {
    md5_ctx context;
    md5_init(&context);
    md5_update(&context, text.size(), reinterpret_cast<const std::uint8_t*>(text.data()));
    std::uint8_t digest[MD5_DIGEST_SIZE];
    md5_digest(&context, MD5_DIGEST_SIZE, digest);
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string hex;
    for (const std::uint8_t byte : digest) {
        hex += kHex[byte >> 4];
        hex += kHex[byte & 0xF];
    }
    return hex;
}

}  // namespace

std::vector<std::uint8_t> exifForJpeg(const std::vector<std::uint8_t>& exif, EncodeReport& report) {
    const Exiv2Session session;
    try {
        const ParsedExif parsed = parseExif(exif);
        Exiv2::Blob blob;
        Exiv2::ExifParser::encode(blob, nullptr, 0, parsed.order, parsed.data);
        // What exiv2 left out to fit the segment, by name.
        Exiv2::ExifData written;
        Exiv2::ExifParser::decode(written, blob.data(), static_cast<std::uint32_t>(blob.size()));
        std::string missing;
        for (const Exiv2::Exifdatum& datum : parsed.data) {
            if (written.findKey(Exiv2::ExifKey(datum.key())) == written.end()) {
                missing += (missing.empty() ? "" : ", ") + datum.key();
            }
        }
        if (!missing.empty()) {
            report.warnings.push_back("'" + report.name + "': JPEG holds at most 64 KiB of EXIF; left out: " + missing);
        }
        return {blob.begin(), blob.end()};
    } catch (const std::exception& error) {
        report.leftOut("EXIF", session.why(error.what(), "exiv2 failed"));
        return {};
    }
}

JpegXmp xmpForJpeg(const std::string& xmp, std::size_t standardLimit, EncodeReport& report) {
    JpegXmp out;
    if (xmp.size() <= standardLimit) {
        out.standard = xmp;
        return out;
    }
    const Exiv2Session session;
    try {
        Exiv2::XmpData standard = parseXmp(xmp);
        // Properties by their size as text, largest first.
        std::map<std::string, std::size_t> sizes;
        for (const Exiv2::Xmpdatum& datum : standard) {
            sizes[topLevelProperty(datum.key())] += datum.key().size() + datum.size();
        }
        std::vector<std::pair<std::string, std::size_t>> bySize(sizes.begin(), sizes.end());
        std::sort(bySize.begin(), bySize.end(), [](const auto& a, const auto& b) { return a.second > b.second; });

        // Moves properties out, largest first, until what stays (with the
        // GUID, 32 digits of it) fits.
        Exiv2::XmpData extended;
        const std::string placeholder(32, '0');
        standard[kHasExtendedXmp] = placeholder;
        for (const auto& [property, size] : bySize) {
            if (serialise(standard).size() <= standardLimit) {
                break;
            }
            for (auto datum = standard.begin(); datum != standard.end();) {
                if (topLevelProperty(datum->key()) == property) {
                    extended.add(*datum);
                    datum = standard.erase(datum);
                } else {
                    ++datum;
                }
            }
        }
        out.extended = serialise(extended, Exiv2::XmpParser::omitPacketWrapper);
        out.guid = md5Hex(out.extended);
        standard[kHasExtendedXmp] = out.guid;
        out.standard = serialise(standard);
        if (out.standard.size() > standardLimit) {
            throw std::runtime_error("its properties do not fit a JPEG segment even when split");
        }
    } catch (const std::exception& error) {
        report.leftOut("XMP", session.why(error.what(), "exiv2 failed"));
        return {};
    }
    return out;
}

}  // namespace host
