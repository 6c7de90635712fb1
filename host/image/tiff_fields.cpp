#include "host/image/tiff_fields.h"

#include <cmath>
#include <cstring>

namespace host {

namespace {

// The simplest fraction within `precision` (relative) of `value` whose
// terms fit 32 bits (1/250 of 0.004, 1/3 of 0.333...), by continued
// fractions: libtiff keeps rationals as float or double.
std::pair<std::uint32_t, std::uint32_t> fractionOf(double value, double precision) {
    if (!(value > 0) || !std::isfinite(value)) {
        return {0, 1};
    }
    if (value >= 4294967295.0) {
        return {0xFFFFFFFFu, 1};
    }
    // Convergents h/k of value's continued fraction [a0; a1, a2, ...]:
    // h(n) = a(n) h(n-1) + h(n-2), from h(-1) = 1, h(-2) = 0; k alike from
    // k(-1) = 0, k(-2) = 1.
    std::uint64_t h = 1, k = 0, previousH = 0, previousK = 1;
    double rest = value;
    for (int term = 0; term < 40; ++term) {
        const double whole = std::floor(rest);
        const auto a = static_cast<std::uint64_t>(whole);
        const std::uint64_t nextH = a * h + previousH;
        const std::uint64_t nextK = a * k + previousK;
        if (nextH > 0xFFFFFFFFu || nextK > 0xFFFFFFFFu) {
            break;
        }
        previousH = h;
        previousK = k;
        h = nextH;
        k = nextK;
        const double fraction = rest - whole;
        if (fraction < 1e-9 ||
            std::fabs(static_cast<double>(h) / static_cast<double>(k) - value) <= value * precision) {
            break;
        }
        rest = 1.0 / fraction;
    }
    if (k == 0) {
        return {0xFFFFFFFFu, 1};
    }
    return {static_cast<std::uint32_t>(h), static_cast<std::uint32_t>(k)};
}

template <typename T>
void append(std::vector<std::uint8_t>& bytes, T value) {
    std::uint8_t raw[sizeof(T)];
    std::memcpy(raw, &value, sizeof(T));  // this machine is little-endian, as x86-64 is
    bytes.insert(bytes.end(), raw, raw + sizeof(T));
}

// Values as libtiff keeps them in memory, `storage` bytes each, to TIFF's
// little-endian bytes of `type`; false for a type classic TIFF lacks.
bool encodeValues(const void* data, std::uint32_t count, TIFFDataType type, int storage, TiffField& field) {
    const auto* in = static_cast<const std::uint8_t*>(data);
    field.type = static_cast<std::uint16_t>(type);
    field.count = count;
    switch (type) {
        case TIFF_BYTE:
        case TIFF_SBYTE:
        case TIFF_UNDEFINED:
        case TIFF_ASCII:
            field.bytes.assign(in, in + count);
            return true;
        case TIFF_SHORT:
        case TIFF_SSHORT:
        case TIFF_LONG:
        case TIFF_SLONG:
        case TIFF_FLOAT:
        case TIFF_DOUBLE:
            field.bytes.assign(in, in + static_cast<std::size_t>(count) * static_cast<std::size_t>(storage));
            return storage == (type == TIFF_SHORT || type == TIFF_SSHORT ? 2 : type == TIFF_DOUBLE ? 8 : 4);
        case TIFF_RATIONAL:
        case TIFF_SRATIONAL:
            for (std::uint32_t i = 0; i < count; ++i) {
                double value = 0;
                if (storage == 8) {
                    std::memcpy(&value, in + 8 * i, 8);
                } else {
                    float single = 0;
                    std::memcpy(&single, in + 4 * i, 4);
                    value = single;
                }
                const bool negative = value < 0;
                auto [numerator, denominator] = fractionOf(std::fabs(value), storage == 8 ? 1e-15 : 1e-7);
                if (type == TIFF_SRATIONAL) {
                    numerator = std::min<std::uint32_t>(numerator, 0x7FFFFFFF);
                    denominator = std::min<std::uint32_t>(denominator, 0x7FFFFFFF);
                    append(field.bytes,
                           negative ? -static_cast<std::int32_t>(numerator) : static_cast<std::int32_t>(numerator));
                    append(field.bytes, static_cast<std::int32_t>(denominator));
                } else {
                    append(field.bytes, numerator);
                    append(field.bytes, denominator);
                }
            }
            return true;
        default:
            return false;  // IFD pointers, BigTIFF's 64-bit integers
    }
}

// One field of the current directory, as libtiff hands it out.
bool readField(TIFF* tiff, std::uint32_t tag, TiffField& field) {
    const TIFFField* info = TIFFFieldWithTag(tiff, tag);
    if (info == nullptr || tag > 0xFFFF) {
        return false;
    }
    field.tag = static_cast<std::uint16_t>(tag);
    const TIFFDataType type = TIFFFieldDataType(info);
    const int storage = TIFFFieldSetGetSize(info);
    const int readCount = TIFFFieldReadCount(info);
    void* data = nullptr;
    std::uint32_t count = 0;
    alignas(8) std::uint8_t value[8] = {};  // a single value, returned by value
    if (TIFFFieldPassCount(info) != 0) {
        if (readCount == TIFF_VARIABLE2) {
            if (TIFFGetField(tiff, tag, &count, &data) != 1) {
                return false;
            }
        } else {
            std::uint16_t shortCount = 0;
            if (TIFFGetField(tiff, tag, &shortCount, &data) != 1) {
                return false;
            }
            count = shortCount;
        }
    } else if (type == TIFF_ASCII) {
        char* text = nullptr;
        if (TIFFGetField(tiff, tag, &text) != 1 || text == nullptr) {
            return false;
        }
        data = text;
        count = static_cast<std::uint32_t>(std::strlen(text) + 1);
    } else if (readCount == 1) {
        if (storage <= 0 || storage > 8 || TIFFGetField(tiff, tag, value) != 1) {
            return false;
        }
        data = value;
        count = 1;
    } else if (readCount > 1) {
        if (TIFFGetField(tiff, tag, &data) != 1) {
            return false;
        }
        count = static_cast<std::uint32_t>(readCount);
    } else {
        return false;
    }
    if (data == nullptr || count == 0 || storage <= 0) {
        return false;
    }
    return encodeValues(data, count, type, storage, field);
}

// Every field libtiff lists as set in the current directory but those it
// keeps apart from the descriptive ones (pixel layout, pointers).
std::vector<TiffField> readFields(TIFF* tiff) {
    std::vector<TiffField> fields;
    const int count = TIFFGetTagListCount(tiff);
    for (int i = 0; i < count; ++i) {
        TiffField field;
        if (readField(tiff, TIFFGetTagListEntry(tiff, i), field)) {
            fields.push_back(std::move(field));
        }
    }
    return fields;
}

}  // namespace

TiffExifFields readExifFields(TIFF* tiff) {
    TiffExifFields fields;
    fields.image = readFields(tiff);
    std::uint64_t exifOffset = 0, gpsOffset = 0;
    TIFFGetField(tiff, TIFFTAG_EXIFIFD, &exifOffset);
    TIFFGetField(tiff, TIFFTAG_GPSIFD, &gpsOffset);
    if (exifOffset != 0 && TIFFReadEXIFDirectory(tiff, exifOffset) == 1) {
        fields.exif = readFields(tiff);
    }
    if (gpsOffset != 0 && TIFFReadGPSDirectory(tiff, gpsOffset) == 1) {
        fields.gps = readFields(tiff);
    }
    return fields;
}

}  // namespace host
