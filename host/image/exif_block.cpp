#include "host/image/exif_block.h"

#include <libexif/exif-data.h>

#include <cstdlib>
#include <cstring>

namespace host {

namespace {

constexpr unsigned char kExifPrefix[6] = {'E', 'x', 'i', 'f', 0, 0};

ExifEntry* entryIn(ExifData* data, ExifIfd ifd, ExifTag tag) { return exif_content_get_entry(data->ifd[ifd], tag); }

void setWholeNumber(ExifEntry* entry, ExifByteOrder order, unsigned value) {
    if (entry == nullptr || entry->components != 1 || entry->data == nullptr) {
        return;
    }
    if (entry->format == EXIF_FORMAT_SHORT && value <= 0xFFFF) {
        exif_set_short(entry->data, order, static_cast<ExifShort>(value));
    } else if (entry->format == EXIF_FORMAT_LONG) {
        exif_set_long(entry->data, order, value);
    }
}

}  // namespace

void ExifDataRelease::operator()(ExifData* data) const { exif_data_unref(data); }

ExifDataPtr parseExif(const std::vector<std::uint8_t>& exif) {
    if (exif.size() < 8) {
        return nullptr;
    }
    ExifDataPtr data(exif_data_new());
    if (!data) {
        return nullptr;
    }
    // Keep what libexif does not know, and do not "repair" the data.
    exif_data_unset_option(data.get(), EXIF_DATA_OPTION_IGNORE_UNKNOWN_TAGS);
    exif_data_unset_option(data.get(), EXIF_DATA_OPTION_FOLLOW_SPECIFICATION);
    exif_data_set_option(data.get(), EXIF_DATA_OPTION_DONT_CHANGE_MAKER_NOTE);
    const std::vector<std::uint8_t> segment = exifWithPrefix(exif);
    exif_data_load_data(data.get(), segment.data(), static_cast<unsigned>(segment.size()));
    for (ExifContent* content : data->ifd) {
        if (content != nullptr && content->count > 0) {
            return data;
        }
    }
    return nullptr;
}

std::vector<std::uint8_t> serializeExif(ExifData* data) {
    unsigned char* bytes = nullptr;
    unsigned size = 0;
    exif_data_save_data(data, &bytes, &size);
    std::vector<std::uint8_t> block;
    if (bytes != nullptr) {
        block = exifWithoutPrefix(bytes, size);
        std::free(bytes);  // libexif's default allocator
    }
    return block;
}

int exifOrientation(const std::vector<std::uint8_t>& exif) {
    const ExifDataPtr data = parseExif(exif);
    if (!data) {
        return 1;
    }
    const ExifEntry* entry = entryIn(data.get(), EXIF_IFD_0, EXIF_TAG_ORIENTATION);
    if (entry == nullptr || entry->format != EXIF_FORMAT_SHORT || entry->components < 1 || entry->size < 2) {
        return 1;
    }
    const int orientation = exif_get_short(entry->data, exif_data_get_byte_order(data.get()));
    return orientation >= 1 && orientation <= 8 ? orientation : 1;
}

std::vector<std::uint8_t> exifForUprightPicture(const std::vector<std::uint8_t>& exif, int width, int height) {
    const ExifDataPtr data = parseExif(exif);
    if (!data) {
        return {};
    }
    const ExifByteOrder order = exif_data_get_byte_order(data.get());
    setWholeNumber(entryIn(data.get(), EXIF_IFD_0, EXIF_TAG_ORIENTATION), order, 1);
    setWholeNumber(entryIn(data.get(), EXIF_IFD_EXIF, EXIF_TAG_PIXEL_X_DIMENSION), order, static_cast<unsigned>(width));
    setWholeNumber(entryIn(data.get(), EXIF_IFD_EXIF, EXIF_TAG_PIXEL_Y_DIMENSION), order,
                   static_cast<unsigned>(height));
    // The thumbnail and the directory that describes it.
    std::free(data->data);  // libexif's default allocator
    data->data = nullptr;
    data->size = 0;
    ExifContent* thumbnail = data->ifd[EXIF_IFD_1];
    while (thumbnail->count > 0) {
        exif_content_remove_entry(thumbnail, thumbnail->entries[0]);
    }
    return serializeExif(data.get());
}

std::vector<std::uint8_t> exifWithoutPrefix(const std::uint8_t* data, std::size_t size) {
    if (size >= sizeof(kExifPrefix) && std::memcmp(data, kExifPrefix, sizeof(kExifPrefix)) == 0) {
        return {data + sizeof(kExifPrefix), data + size};
    }
    return {data, data + size};
}

std::vector<std::uint8_t> exifWithPrefix(const std::vector<std::uint8_t>& exif) {
    std::vector<std::uint8_t> segment(sizeof(kExifPrefix) + exif.size());
    std::memcpy(segment.data(), kExifPrefix, sizeof(kExifPrefix));
    if (!exif.empty()) {
        std::memcpy(segment.data() + sizeof(kExifPrefix), exif.data(), exif.size());
    }
    return segment;
}

}  // namespace host
