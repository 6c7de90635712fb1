#include "host/image/tiff_metadata.h"

#include "host/metadata/exif_edits.h"
#include "host/metadata/exiv2_session.h"

namespace host {

ExifForTiff exifForTiff(const std::vector<std::uint8_t>& exif, EncodeReport& report) {
    ExifForTiff out;
    const Exiv2Session session;
    try {
        ParsedExif parsed = parseExif(exif);
        // The image's own directory goes into the file's: its fields, as
        // they are, in little-endian order.
        Exiv2::ExifData rest;
        for (const Exiv2::Exifdatum& datum : parsed.data) {
            if (datum.groupName() != "Image") {
                rest.add(datum);
                continue;
            }
            if (datum.tag() == 0x8769 || datum.tag() == 0x8825 || isLayoutOrCarrierTag(datum.tag())) {
                continue;  // pointers exiv2 makes, and fields the TIFF writer sets itself
            }
            TiffField field;
            field.tag = datum.tag();
            field.type = static_cast<std::uint16_t>(datum.typeId());
            field.count = static_cast<std::uint32_t>(datum.count());
            field.bytes.resize(static_cast<std::size_t>(datum.size()));
            if (!field.bytes.empty()) {
                datum.copy(field.bytes.data(), Exiv2::littleEndian);
            }
            out.imageFields.push_back(std::move(field));
        }
        if (rest.empty()) {
            return out;
        }
        // The EXIF, GPS and maker-note directories in a TIFF structure of
        // their own, its offsets counted from its start: placed at the start
        // of the output, they are right there as they are.
        Exiv2::MemIo io;
        Exiv2::TiffParser::encode(io, nullptr, 0, Exiv2::littleEndian, rest, Exiv2::IptcData(), Exiv2::XmpData());
        out.prefix = bytesOf(io);
        Exiv2::ExifData written;
        Exiv2::IptcData noIptc;
        Exiv2::XmpData noXmp;
        Exiv2::TiffParser::decode(written, noIptc, noXmp, out.prefix.data(),
                                  static_cast<std::uint32_t>(out.prefix.size()));
        auto pointer = [&written](const char* key) -> std::uint64_t {
            const auto found = written.findKey(Exiv2::ExifKey(key));
            return found != written.end() && found->count() > 0 ? static_cast<std::uint64_t>(found->toLong()) : 0;
        };
        out.exifDirectory = pointer("Exif.Image.ExifTag");
        out.gpsDirectory = pointer("Exif.Image.GPSTag");
        if (out.exifDirectory == 0 && out.gpsDirectory == 0) {
            out.prefix.clear();
        }
    } catch (const std::exception& error) {
        report.leftOut("EXIF", session.why(error.what(), "exiv2 failed"));
        return {};
    }
    return out;
}

}  // namespace host
