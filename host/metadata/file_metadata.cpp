#include "host/metadata/file_metadata.h"

#include "host/metadata/exiv2_session.h"

namespace host {

bool readTiffMetadata(ByteSource& file, ImageMetadata& metadata, std::vector<std::string>& warnings) {
    const Exiv2Session session;
    const std::string& name = file.name();
    Exiv2::ExifData exif;
    Exiv2::IptcData iptc;
    Exiv2::XmpData xmp;
    try {
        // exiv2 reads classic TIFF, whose offsets are 32-bit, and not
        // BigTIFF; it touches the directories only, not the pixels.
        std::uint8_t start[4] = {};
        file.seek(0);
        const bool big = file.read(start, 4) == 4 && (start[2] == 0x2B || start[3] == 0x2B);
        file.seek(0);
        if (big || file.size() >= (std::uint64_t{1} << 32)) {
            return false;
        }
        const Exiv2::ByteOrder order =
            Exiv2::TiffParser::decode(exif, iptc, xmp, file.mapped(), static_cast<std::uint32_t>(file.size()));
        const bool packetUnread = xmp.empty() && exif.findKey(Exiv2::ExifKey("Exif.Image.XMLPacket")) != exif.end();
        if (!exif.empty()) {
            metadata.exif = tiffForm(exif, order);
        }
        if (!xmp.empty()) {
            metadata.xmp = serialise(xmp);
        } else if (packetUnread) {
            warnings.push_back(cannotRead(name, "XMP", session.why("", "not well-formed XMP")));
        }
        if (!iptc.empty()) {
            const Exiv2::DataBuf datasets = Exiv2::IptcParser::encode(iptc);
            metadata.iptc.assign(datasets.pData_, datasets.pData_ + datasets.size_);
        }
    } catch (const std::exception& error) {
        warnings.push_back(cannotRead(name, "EXIF", session.why(error.what(), "a damaged directory")));
        return false;
    }
    return true;
}

std::vector<std::uint8_t> exifFromFields(const TiffExifFields& fields, const std::string& name,
                                         std::vector<std::string>& warnings) {
    const Exiv2Session session;
    try {
        Exiv2::ExifData exif;
        auto add = [&exif](const std::vector<TiffField>& group, const char* groupName) {
            for (const TiffField& field : group) {
                const Exiv2::Value::AutoPtr value = Exiv2::Value::create(static_cast<Exiv2::TypeId>(field.type));
                if (value->read(field.bytes.data(), static_cast<long>(field.bytes.size()), Exiv2::littleEndian) == 0) {
                    exif.add(Exiv2::ExifKey(field.tag, groupName), value.get());
                }
            }
        };
        add(fields.image, "Image");
        add(fields.exif, "Photo");
        add(fields.gps, "GPSInfo");
        for (auto datum = exif.begin(); datum != exif.end();) {
            // The pointers to the other directories, which exiv2 makes itself.
            if (datum->groupName() == "Image" && (datum->tag() == 0x8769 || datum->tag() == 0x8825)) {
                datum = exif.erase(datum);
            } else {
                ++datum;
            }
        }
        return exif.empty() ? std::vector<std::uint8_t>() : tiffForm(exif, Exiv2::littleEndian);
    } catch (const std::exception& error) {
        warnings.push_back(cannotRead(name, "EXIF", session.why(error.what(), "exiv2 cannot take its fields")));
        return {};
    }
}

void readPngMetadataAnywhere(ByteSource& file, ImageMetadata& metadata, std::vector<std::string>& warnings) {
    // exiv2's offsets are `long`: 32 bits on Windows.
    if (file.size() >= (std::uint64_t{1} << 31) && sizeof(long) < 8) {
        return;
    }
    const Exiv2Session session;
    try {
        Exiv2::Image::AutoPtr image = Exiv2::ImageFactory::open(Exiv2::BasicIo::AutoPtr(new SourceIo(file)));
        if (image.get() == nullptr) {
            return;
        }
        image->readMetadata();
        if (!image->exifData().empty()) {
            Exiv2::ExifData exif = image->exifData();
            metadata.exif = tiffForm(
                exif, image->byteOrder() == Exiv2::invalidByteOrder ? Exiv2::littleEndian : image->byteOrder());
        }
        if (!image->xmpPacket().empty()) {
            metadata.xmp = image->xmpPacket();
        }
        if (!image->iptcData().empty()) {
            const Exiv2::DataBuf datasets = Exiv2::IptcParser::encode(image->iptcData());
            metadata.iptc.assign(datasets.pData_, datasets.pData_ + datasets.size_);
        }
        if (image->iccProfileDefined()) {
            const Exiv2::DataBuf* profile = image->iccProfile();
            metadata.iccProfile.assign(profile->pData_, profile->pData_ + profile->size_);
        }
    } catch (const std::exception& error) {
        warnings.push_back(cannotRead(file.name(), "metadata", session.why(error.what(), "exiv2 cannot read it")));
    }
    file.seek(0);
}

}  // namespace host
