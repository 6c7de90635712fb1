#include "host/image/tiff_exif.h"

#include <libexif/exif-data.h>

#include <cmath>
#include <cstring>
#include <string>

#include "host/image/exif_block.h"

namespace host {

namespace {

// Descriptive text tags that TIFF keeps in the image's own directory.
constexpr ttag_t kTextTags[] = {TIFFTAG_IMAGEDESCRIPTION, TIFFTAG_MAKE,   TIFFTAG_MODEL,        TIFFTAG_SOFTWARE,
                                TIFFTAG_DATETIME,         TIFFTAG_ARTIST, TIFFTAG_HOSTCOMPUTER, TIFFTAG_COPYRIGHT};

// EXIF directory tags that are offsets of further directories, not values.
bool isDirectoryPointer(ttag_t tag) { return tag == 40965 /* Interoperability */; }

// Text stored in `size` bytes: up to its first zero byte, or all of them.
std::string textIn(const void* bytes, std::size_t size) {
    const auto* text = static_cast<const char*>(bytes);
    return std::string(text, strnlen(text, size));
}

// A libtiff value converted to and from its storage: `count` elements of
// `size` bytes each (libtiff stores rationals as float or double).
struct FieldValue {
    TIFFDataType type = TIFF_NOTYPE;
    std::uint32_t count = 0;
    int size = 0;
    std::vector<std::uint8_t> storage;
};

// A rational close to `value`, by continued fractions.
void toRational(double value, std::uint32_t& numerator, std::uint32_t& denominator) {
    const bool negative = value < 0;
    double x = std::fabs(value);
    if (!(x < 4294967295.0)) {
        numerator = 0;
        denominator = 0;
        return;
    }
    std::uint64_t h0 = 0, h1 = 1, k0 = 1, k1 = 0;
    double remainder = x;
    for (int i = 0; i < 32; ++i) {
        const double whole = std::floor(remainder);
        const auto a = static_cast<std::uint64_t>(whole);
        const std::uint64_t h2 = a * h1 + h0;
        const std::uint64_t k2 = a * k1 + k0;
        if (h2 > 0x7FFFFFFF || k2 > 0x7FFFFFFF) {
            break;
        }
        h0 = h1;
        h1 = h2;
        k0 = k1;
        k1 = k2;
        if (std::fabs(static_cast<double>(h1) / static_cast<double>(k1) - x) <= 1e-7 * x || remainder - whole < 1e-12) {
            break;
        }
        remainder = 1.0 / (remainder - whole);
    }
    numerator = static_cast<std::uint32_t>(h1);
    denominator = static_cast<std::uint32_t>(k1 == 0 ? 1 : k1);
    if (negative) {
        numerator = static_cast<std::uint32_t>(-static_cast<std::int32_t>(numerator));
    }
}

double storedReal(const FieldValue& value, std::uint32_t i) {
    if (value.size == 8) {
        double d;
        std::memcpy(&d, value.storage.data() + 8 * i, 8);
        return d;
    }
    float f;
    std::memcpy(&f, value.storage.data() + 4 * i, 4);
    return f;
}

// The value of a set custom field as libtiff hands it out.
bool readField(TIFF* tiff, const TIFFField* field, FieldValue& value) {
    const ttag_t tag = TIFFFieldTag(field);
    value.type = TIFFFieldDataType(field);
    value.size = TIFFFieldSetGetSize(field);
    if (value.size <= 0) {
        return false;
    }
    const void* data = nullptr;
    if (TIFFFieldPassCount(field)) {
        if (TIFFFieldReadCount(field) == TIFF_VARIABLE2) {
            std::uint32_t count = 0;
            if (TIFFGetField(tiff, tag, &count, &data) != 1) {
                return false;
            }
            value.count = count;
        } else {
            std::uint16_t count = 0;
            if (TIFFGetField(tiff, tag, &count, &data) != 1) {
                return false;
            }
            value.count = count;
        }
    } else if (value.type == TIFF_ASCII) {
        const char* text = nullptr;
        if (TIFFGetField(tiff, tag, &text) != 1 || text == nullptr) {
            return false;
        }
        data = text;
        value.count = static_cast<std::uint32_t>(std::strlen(text) + 1);
    } else if (TIFFFieldReadCount(field) == 1) {
        value.count = 1;
        value.storage.resize(static_cast<std::size_t>(value.size));
        // A single value is copied out into storage of its own size.
        if (TIFFGetField(tiff, tag, value.storage.data()) != 1) {
            return false;
        }
        return true;
    } else if (TIFFFieldReadCount(field) > 1) {
        value.count = static_cast<std::uint32_t>(TIFFFieldReadCount(field));
        if (TIFFGetField(tiff, tag, &data) != 1) {
            return false;
        }
    } else {
        return false;
    }
    if (data == nullptr || value.count == 0) {
        return false;
    }
    const auto* bytes = static_cast<const std::uint8_t*>(data);
    value.storage.assign(bytes, bytes + static_cast<std::size_t>(value.count) * static_cast<std::size_t>(value.size));
    return true;
}

ExifEntry* addEntry(ExifData* data, ExifIfd ifd, ExifTag tag, ExifFormat format, unsigned components) {
    ExifMem* memory = exif_mem_new_default();
    ExifEntry* entry = exif_entry_new_mem(memory);
    const unsigned size = exif_format_get_size(format) * components;
    entry->data = static_cast<unsigned char*>(exif_mem_alloc(memory, size));
    if (entry->data == nullptr) {
        exif_entry_unref(entry);
        exif_mem_unref(memory);
        return nullptr;
    }
    entry->size = size;
    entry->tag = tag;
    entry->format = format;
    entry->components = components;
    exif_content_add_entry(data->ifd[ifd], entry);
    exif_entry_unref(entry);
    exif_mem_unref(memory);
    return entry;
}

void addText(ExifData* data, ExifIfd ifd, ttag_t tag, const std::string& text) {
    ExifEntry* entry =
        addEntry(data, ifd, static_cast<ExifTag>(tag), EXIF_FORMAT_ASCII, static_cast<unsigned>(text.size() + 1));
    if (entry != nullptr) {
        std::memcpy(entry->data, text.c_str(), text.size() + 1);
    }
}

// The libtiff value as an EXIF entry of the same type.
void addValue(ExifData* data, ttag_t tag, const FieldValue& value) {
    const ExifByteOrder order = exif_data_get_byte_order(data);
    const auto format = static_cast<ExifFormat>(value.type);
    const unsigned unit = exif_format_get_size(format);
    if (unit == 0) {
        return;
    }
    if (value.type == TIFF_ASCII) {
        addText(data, EXIF_IFD_EXIF, tag,
                std::string(reinterpret_cast<const char*>(value.storage.data()), value.storage.size() - 1));
        return;
    }
    ExifEntry* entry = addEntry(data, EXIF_IFD_EXIF, static_cast<ExifTag>(tag), format, value.count);
    if (entry == nullptr) {
        return;
    }
    for (std::uint32_t i = 0; i < value.count; ++i) {
        unsigned char* out = entry->data + static_cast<std::size_t>(unit) * i;
        const std::uint8_t* in = value.storage.data() + static_cast<std::size_t>(value.size) * i;
        switch (value.type) {
            case TIFF_SHORT:
            case TIFF_SSHORT: {
                std::uint16_t v;
                std::memcpy(&v, in, 2);
                exif_set_short(out, order, v);
                break;
            }
            case TIFF_LONG:
            case TIFF_SLONG: {
                std::uint32_t v;
                std::memcpy(&v, in, 4);
                exif_set_long(out, order, v);
                break;
            }
            case TIFF_RATIONAL:
            case TIFF_SRATIONAL: {
                std::uint32_t numerator = 0, denominator = 0;
                toRational(storedReal(value, i), numerator, denominator);
                exif_set_long(out, order, numerator);
                exif_set_long(out + 4, order, denominator);
                break;
            }
            default:
                if (value.size == static_cast<int>(unit)) {
                    std::memcpy(out, in, unit);
                }
                break;
        }
    }
}

// The EXIF entry's value in libtiff's storage for `field`; false when the
// two disagree on the type or the count.
bool storeEntry(const ExifEntry* entry, ExifByteOrder order, const TIFFField* field, FieldValue& value) {
    value.type = TIFFFieldDataType(field);
    value.size = TIFFFieldSetGetSize(field);
    value.count = entry->components;
    const auto format = static_cast<ExifFormat>(value.type);
    if (entry->format != format || value.size <= 0 || entry->components == 0 || entry->data == nullptr ||
        entry->size < exif_format_get_size(format) * entry->components) {
        return false;
    }
    const int writeCount = TIFFFieldWriteCount(field);
    if (!TIFFFieldPassCount(field) && value.type != TIFF_ASCII && writeCount > 0 &&
        static_cast<unsigned>(writeCount) != entry->components) {
        return false;
    }
    value.storage.assign(static_cast<std::size_t>(value.size) * value.count, 0);
    const unsigned unit = exif_format_get_size(format);
    for (unsigned i = 0; i < entry->components; ++i) {
        const unsigned char* in = entry->data + static_cast<std::size_t>(unit) * i;
        std::uint8_t* out = value.storage.data() + static_cast<std::size_t>(value.size) * i;
        switch (value.type) {
            case TIFF_SHORT:
            case TIFF_SSHORT: {
                const std::uint16_t v = exif_get_short(in, order);
                std::memcpy(out, &v, std::min<std::size_t>(2, static_cast<std::size_t>(value.size)));
                break;
            }
            case TIFF_LONG:
            case TIFF_SLONG: {
                const std::uint32_t v = exif_get_long(in, order);
                std::memcpy(out, &v, std::min<std::size_t>(4, static_cast<std::size_t>(value.size)));
                break;
            }
            case TIFF_RATIONAL:
            case TIFF_SRATIONAL: {
                double real = 0;
                if (value.type == TIFF_RATIONAL) {
                    const ExifRational r = exif_get_rational(in, order);
                    real = r.denominator != 0 ? static_cast<double>(r.numerator) / r.denominator : 0;
                } else {
                    const ExifSRational r = exif_get_srational(in, order);
                    real = r.denominator != 0 ? static_cast<double>(r.numerator) / r.denominator : 0;
                }
                if (value.size == 8) {
                    std::memcpy(out, &real, 8);
                } else {
                    const auto single = static_cast<float>(real);
                    std::memcpy(out, &single, 4);
                }
                break;
            }
            default:
                if (value.size != static_cast<int>(unit)) {
                    return false;
                }
                std::memcpy(out, in, unit);
                break;
        }
    }
    return true;
}

// Sets a field from its stored value, as libtiff's TIFFSetField expects it.
bool setField(TIFF* tiff, const TIFFField* field, const FieldValue& value) {
    const ttag_t tag = TIFFFieldTag(field);
    if (value.type == TIFF_ASCII) {
        return TIFFSetField(tiff, tag, textIn(value.storage.data(), value.storage.size()).c_str()) == 1;
    }
    if (TIFFFieldPassCount(field)) {
        if (TIFFFieldWriteCount(field) == TIFF_VARIABLE2) {
            return TIFFSetField(tiff, tag, value.count, value.storage.data()) == 1;
        }
        if (value.count > 0xFFFF) {
            return false;
        }
        return TIFFSetField(tiff, tag, static_cast<int>(value.count), value.storage.data()) == 1;
    }
    if (value.count > 1) {
        return TIFFSetField(tiff, tag, value.storage.data()) == 1;
    }
    // A single value, passed as the promoted type of its storage.
    switch (value.type) {
        case TIFF_RATIONAL:
        case TIFF_SRATIONAL:
        case TIFF_FLOAT:
        case TIFF_DOUBLE:
            return TIFFSetField(tiff, tag, storedReal(value, 0)) == 1;
        case TIFF_SHORT:
        case TIFF_SSHORT: {
            std::uint16_t v;
            std::memcpy(&v, value.storage.data(), 2);
            return TIFFSetField(tiff, tag, static_cast<int>(v)) == 1;
        }
        case TIFF_LONG:
        case TIFF_SLONG: {
            std::uint32_t v;
            std::memcpy(&v, value.storage.data(), 4);
            return TIFFSetField(tiff, tag, v) == 1;
        }
        default:
            return TIFFSetField(tiff, tag, static_cast<int>(value.storage[0])) == 1;
    }
}

}  // namespace

std::vector<std::uint8_t> readTiffExif(TIFF* tiff) {
    ExifDataPtr data(exif_data_new());
    if (!data) {
        return {};
    }
    exif_data_unset_option(data.get(), EXIF_DATA_OPTION_FOLLOW_SPECIFICATION);
    exif_data_set_byte_order(data.get(), EXIF_BYTE_ORDER_INTEL);
    bool any = false;
    for (const ttag_t tag : kTextTags) {
        const char* text = nullptr;
        if (TIFFGetField(tiff, tag, &text) == 1 && text != nullptr) {
            addText(data.get(), EXIF_IFD_0, tag, text);
            any = true;
        }
    }
    toff_t exifOffset = 0;
    if (TIFFGetField(tiff, TIFFTAG_EXIFIFD, &exifOffset) == 1 && exifOffset != 0 &&
        TIFFReadEXIFDirectory(tiff, exifOffset) == 1) {
        const int count = TIFFGetTagListCount(tiff);
        for (int i = 0; i < count; ++i) {
            const ttag_t tag = TIFFGetTagListEntry(tiff, i);
            const TIFFField* field = TIFFFieldWithTag(tiff, tag);
            FieldValue value;
            if (field != nullptr && !isDirectoryPointer(tag) && !TIFFFieldIsAnonymous(field) &&
                readField(tiff, field, value)) {
                addValue(data.get(), tag, value);
                any = true;
            }
        }
    }
    if (!any) {
        return {};
    }
    // The picture is read upright, whatever the file's own orientation tag.
    ExifEntry* orientation = addEntry(data.get(), EXIF_IFD_0, EXIF_TAG_ORIENTATION, EXIF_FORMAT_SHORT, 1);
    if (orientation != nullptr) {
        exif_set_short(orientation->data, exif_data_get_byte_order(data.get()), 1);
    }
    return serializeExif(data.get());
}

void setTiffExifText(TIFF* tiff, const std::vector<std::uint8_t>& exif) {
    const ExifDataPtr data = parseExif(exif);
    if (!data) {
        return;
    }
    for (const ttag_t tag : kTextTags) {
        const ExifEntry* entry = exif_content_get_entry(data->ifd[EXIF_IFD_0], static_cast<ExifTag>(tag));
        if (entry != nullptr && entry->format == EXIF_FORMAT_ASCII && entry->data != nullptr && entry->size > 0) {
            TIFFSetField(tiff, tag, textIn(entry->data, entry->size).c_str());
        }
    }
}

bool writeTiffExifDirectory(TIFF* tiff, const std::vector<std::uint8_t>& exif) {
    const ExifDataPtr data = parseExif(exif);
    if (!data || TIFFCreateEXIFDirectory(tiff) != 0) {
        return false;
    }
    const ExifByteOrder order = exif_data_get_byte_order(data.get());
    const ExifContent* content = data->ifd[EXIF_IFD_EXIF];
    for (unsigned i = 0; i < content->count; ++i) {
        const ExifEntry* entry = content->entries[i];
        const TIFFField* field = TIFFFindField(tiff, entry->tag, TIFF_ANY);
        FieldValue value;
        if (field != nullptr && !isDirectoryPointer(entry->tag) && storeEntry(entry, order, field, value)) {
            setField(tiff, field, value);
        }
    }
    std::uint64_t exifOffset = 0;
    if (TIFFWriteCustomDirectory(tiff, &exifOffset) != 1) {
        return false;
    }
    // Back to the image's directory, to point it at the EXIF directory.
    return TIFFSetDirectory(tiff, 0) == 1 && TIFFSetField(tiff, TIFFTAG_EXIFIFD, exifOffset) == 1 &&
           TIFFWriteDirectory(tiff) == 1;
}

}  // namespace host
