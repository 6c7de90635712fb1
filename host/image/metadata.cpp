#include "host/image/metadata.h"

#include "host/image/colour_profile.h"

#include <cstdio>

#include <nettle/md5.h>
#include <exiv2/exiv2.hpp>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <map>
#include <mutex>
#include <optional>
#include <utility>

namespace host {

namespace {

// exiv2 reports what it skips through one process-wide handler; each thread
// collects what it is told while it works on a file, so that the reasons stay
// with that file.
thread_local std::vector<std::string>* exiv2Messages = nullptr;

void collectExiv2Message(int /*level*/, const char* message) {
    if (exiv2Messages == nullptr || message == nullptr) {
        return;
    }
    std::string text(message);
    while (!text.empty() && (text.back() == '\n' || text.back() == ' ' || text.back() == '.')) {
        text.pop_back();
    }
    exiv2Messages->push_back(text);
}

// Adobe's XMP toolkit inside exiv2 is safe for threads only behind a lock.
std::mutex xmpToolkitMutex;
void lockXmpToolkit(void* /*data*/, bool lock) {
    if (lock) {
        xmpToolkitMutex.lock();
    } else {
        xmpToolkitMutex.unlock();
    }
}

void initialiseExiv2() {
    static std::once_flag once;
    std::call_once(once, [] {
        Exiv2::LogMsg::setLevel(Exiv2::LogMsg::warn);
        Exiv2::LogMsg::setHandler(collectExiv2Message);
        Exiv2::XmpParser::initialize(lockXmpToolkit, nullptr);
    });
}

// exiv2 keeps the XMP namespaces it meets in process-wide tables, which its
// XMP code reads and writes without guarding them against each other; and
// two threads reading files with custom namespaces at once make it fail. So
// the host's metadata work, a small part of each file's, goes one thread at a
// time, and each turn forgets the namespaces it met: one file's cannot clash
// with another's, nor pile up over a long batch.
std::recursive_mutex exiv2Work;
thread_local int sessionDepth = 0;

// One thread's turn with exiv2, and exiv2's messages on it while it lasts;
// nests. Nothing of exiv2's XMP may outlive the outermost turn but packets.
class Exiv2Session {
public:
    Exiv2Session() : turn_(exiv2Work), outer_(exiv2Messages) {
        initialiseExiv2();
        if (sessionDepth++ == 0) {
            // The namespace of xmpNote:HasExtendedXMP, which exiv2 does not list.
            Exiv2::XmpProperties::registerNs("http://ns.adobe.com/xmp/note/", "xmpNote");
        }
        exiv2Messages = &messages_;
    }
    ~Exiv2Session() {
        exiv2Messages = outer_;
        if (--sessionDepth == 0) {
            Exiv2::XmpProperties::unregisterNs();
        }
    }
    Exiv2Session(const Exiv2Session&) = delete;
    Exiv2Session& operator=(const Exiv2Session&) = delete;

    // Why something failed: `reason` if given, else what exiv2 said last,
    // else `fallback`.
    std::string why(const std::string& reason, const std::string& fallback) const {
        if (!reason.empty()) {
            return reason;
        }
        return messages_.empty() ? fallback : messages_.back();
    }

private:
    std::lock_guard<std::recursive_mutex> turn_;
    std::vector<std::string> messages_;
    std::vector<std::string>* outer_;
};

std::string cannotRead(const std::string& name, const std::string& block, const std::string& why) {
    return "'" + name + "': its " + block + " cannot be read (" + why + "); it is left out";
}

std::vector<std::uint8_t> bytesOf(Exiv2::BasicIo& io) {
    if (io.open() != 0) {
        throw Exiv2::Error(Exiv2::kerDataSourceOpenFailed, io.path(), "");
    }
    const Exiv2::DataBuf data = io.read(static_cast<long>(io.size()));
    io.close();
    return {data.pData_, data.pData_ + data.size_};
}

// ---- EXIF ----

// Tags of the image's directory that describe how the stored pixels were
// laid out (each format's writer sets its own), or that carry the blocks the
// host keeps apart (XMP, IPTC-IIM, ICC, Photoshop's resources and layers).
bool isLayoutOrCarrierTag(std::uint16_t tag) {
    static constexpr std::uint16_t kTags[] = {
        0x00FE, 0x00FF, 0x0100, 0x0101, 0x0102, 0x0103, 0x0106, 0x0107, 0x0108, 0x0109, 0x010A, 0x0111, 0x0115,
        0x0116, 0x0117, 0x0118, 0x0119, 0x011C, 0x0120, 0x0121, 0x0122, 0x0123, 0x013D, 0x0140, 0x0142, 0x0143,
        0x0144, 0x0145, 0x014A, 0x014C, 0x0152, 0x0153, 0x0154, 0x0155, 0x015B, 0x0200, 0x0201, 0x0202, 0x0203,
        0x0205, 0x0206, 0x0207, 0x0208, 0x0209, 0x0211, 0x0212, 0x02BC, 0x83BB, 0x8649, 0x8773, 0x935C,
    };
    return std::find(std::begin(kTags), std::end(kTags), tag) != std::end(kTags);
}

// Directories of other images than the picture: the thumbnail, previews,
// sub-images and raw data.
bool isOtherImagesGroup(const std::string& group) {
    return group == "Thumbnail" || group == "Image2" || group == "Image3" || group == "PanasonicRaw" ||
           group == "MpfInfo" || group.rfind("SubImage", 0) == 0 || group.rfind("SubThumb", 0) == 0;
}

void setWholeNumber(Exiv2::Exifdatum& datum, long value) {
    if (datum.typeId() == Exiv2::unsignedShort && value <= 0xFFFF) {
        datum = static_cast<std::uint16_t>(value);
    } else {
        datum = static_cast<std::uint32_t>(value);
    }
}

// Sets `key` to `value` where `exif` records it.
void updateExif(Exiv2::ExifData& exif, const char* key, long value) {
    const auto found = exif.findKey(Exiv2::ExifKey(key));
    if (found != exif.end()) {
        setWholeNumber(*found, value);
    }
}

// The print resolution of the image's directory; none if it records none.
std::optional<PrintResolution> resolutionIn(const Exiv2::ExifData& exif) {
    const auto x = exif.findKey(Exiv2::ExifKey("Exif.Image.XResolution"));
    const auto y = exif.findKey(Exiv2::ExifKey("Exif.Image.YResolution"));
    const auto unit = exif.findKey(Exiv2::ExifKey("Exif.Image.ResolutionUnit"));
    if (x == exif.end() || y == exif.end() || x->count() == 0 || y->count() == 0) {
        return std::nullopt;
    }
    PrintResolution resolution;
    resolution.x = x->toFloat();
    resolution.y = y->toFloat();
    if (unit != exif.end() && unit->count() > 0 && unit->toLong() >= 1 && unit->toLong() <= 3) {
        resolution.unit = static_cast<PrintResolution::Unit>(unit->toLong());
    }
    if (!(resolution.x > 0) || !(resolution.y > 0) || !std::isfinite(resolution.x) || !std::isfinite(resolution.y)) {
        return std::nullopt;
    }
    return resolution;
}

// A resolution as an EXIF rational: whole numbers as they are, others to a
// thousandth.
Exiv2::URational rationalOf(double value) {
    if (value == std::floor(value) && value < 4e9) {
        return {static_cast<std::uint32_t>(value), 1};
    }
    return {static_cast<std::uint32_t>(std::lround(std::min(value, 4e6) * 1000)), 1000};
}

void setResolution(Exiv2::ExifData& exif, const PrintResolution& resolution) {
    exif["Exif.Image.XResolution"] = rationalOf(resolution.x);
    exif["Exif.Image.YResolution"] = rationalOf(resolution.y);
    exif["Exif.Image.ResolutionUnit"] = static_cast<std::uint16_t>(resolution.unit);
}

int orientationIn(const Exiv2::Metadatum& datum) {
    const long value = datum.count() > 0 ? datum.toLong() : 0;
    return value >= 1 && value <= 8 ? static_cast<int>(value) : 0;
}

// EXIF in TIFF form, with no limit on its size.
std::vector<std::uint8_t> tiffForm(const Exiv2::ExifData& exif, Exiv2::ByteOrder order) {
    Exiv2::MemIo io;
    Exiv2::TiffParser::encode(io, nullptr, 0, order, exif, Exiv2::IptcData(), Exiv2::XmpData());
    return bytesOf(io);
}

struct ParsedExif {
    Exiv2::ExifData data;
    Exiv2::ByteOrder order = Exiv2::invalidByteOrder;
};

// Throws when exiv2 cannot read the block.
ParsedExif parseExif(const std::vector<std::uint8_t>& block) {
    ParsedExif exif;
    exif.order = Exiv2::ExifParser::decode(exif.data, block.data(), static_cast<std::uint32_t>(block.size()));
    if (exif.order == Exiv2::invalidByteOrder) {
        throw Exiv2::Error(Exiv2::kerNotAnImage, "EXIF");
    }
    return exif;
}

// ---- XMP ----

// Throws std::runtime_error when the toolkit cannot read the packet.
Exiv2::XmpData parseXmp(const std::string& packet) {
    Exiv2::XmpData xmp;
    if (Exiv2::XmpParser::decode(xmp, packet) != 0) {
        throw std::runtime_error("");
    }
    return xmp;
}

std::string serialise(const Exiv2::XmpData& xmp, unsigned extraFlags = 0) {
    std::string packet;
    if (Exiv2::XmpParser::encode(
            packet, xmp, Exiv2::XmpParser::useCompactFormat | Exiv2::XmpParser::omitAllFormatting | extraFlags) != 0) {
        throw std::runtime_error("");
    }
    return packet;
}

void updateXmp(Exiv2::XmpData& xmp, const char* key, long value) {
    const auto found = xmp.findKey(Exiv2::XmpKey(key));
    if (found != xmp.end()) {
        found->setValue(std::to_string(value));
    }
}

constexpr const char* kHasExtendedXmp = "Xmp.xmpNote.HasExtendedXMP";

// Adds to `into` every property of `from` that it lacks.
void addMissing(Exiv2::XmpData& into, const Exiv2::XmpData& from) {
    for (const Exiv2::Xmpdatum& datum : from) {
        if (into.findKey(Exiv2::XmpKey(datum.key())) == into.end()) {
            into.add(datum);
        }
    }
}

// "Xmp.dc.subject" of "Xmp.dc.subject", "Xmp.iptcExt.LocationCreated" of
// "Xmp.iptcExt.LocationCreated[1]/Iptc4xmpExt:City".
std::string topLevelProperty(const std::string& key) {
    const std::size_t name = key.find('.', 4);
    const std::size_t end = key.find_first_of("[/", name == std::string::npos ? 0 : name);
    return key.substr(0, end);
}

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

UprightMetadata uprightMetadata(const FileHeader& decoded, const std::string& name,
                                std::vector<std::string>& warnings) {
    const Exiv2Session session;
    const ImageMetadata& stored = decoded.metadata;

    std::optional<ParsedExif> exif;
    if (!stored.exif.empty()) {
        try {
            exif = parseExif(stored.exif);
            if (exif->data.empty()) {
                exif.reset();
                warnings.push_back(cannotRead(name, "EXIF", session.why("", "no field exiv2 can read")));
            }
        } catch (const std::exception& error) {
            warnings.push_back(cannotRead(name, "EXIF", session.why(error.what(), "not EXIF data")));
        }
    }
    std::optional<Exiv2::XmpData> xmp;
    if (!stored.xmp.empty()) {
        try {
            xmp = parseXmp(stored.xmp);
        } catch (const std::exception& error) {
            warnings.push_back(cannotRead(name, "XMP", session.why(error.what(), "not well-formed XMP")));
        }
    }
    if (xmp && !decoded.xmpExtensions.empty()) {
        const auto guid = xmp->findKey(Exiv2::XmpKey(kHasExtendedXmp));
        const auto extension =
            guid != xmp->end() ? decoded.xmpExtensions.find(guid->toString()) : decoded.xmpExtensions.end();
        if (extension != decoded.xmpExtensions.end()) {
            try {
                addMissing(*xmp, parseXmp(extension->second));
            } catch (const std::exception& error) {
                warnings.push_back(cannotRead(name, "extended XMP", session.why(error.what(), "not well-formed XMP")));
            }
        }
    }
    UprightMetadata upright;
    if (!stored.iptc.empty()) {
        Exiv2::IptcData iptc;
        if (Exiv2::IptcParser::decode(iptc, stored.iptc.data(), static_cast<std::uint32_t>(stored.iptc.size())) == 0 &&
            !iptc.empty()) {
            upright.metadata.iptc = stored.iptc;
        } else {
            warnings.push_back(cannotRead(name, "IPTC-IIM data", session.why("", "not IPTC-IIM datasets")));
        }
    }

    // The orientation: the file's own, else the EXIF's, else the XMP's.
    int orientation = decoded.orientation.value_or(0);
    if (orientation == 0 && exif) {
        const auto found = exif->data.findKey(Exiv2::ExifKey("Exif.Image.Orientation"));
        orientation = found != exif->data.end() ? orientationIn(*found) : 0;
    }
    if (orientation == 0 && xmp) {
        const auto found = xmp->findKey(Exiv2::XmpKey("Xmp.tiff.Orientation"));
        orientation = found != xmp->end() ? orientationIn(*found) : 0;
    }
    upright.orientation = orientation == 0 ? 1 : orientation;
    const bool turned = upright.orientation >= 5;
    const long width = turned ? decoded.layout.height : decoded.layout.width;
    const long height = turned ? decoded.layout.width : decoded.layout.height;

    // The print resolution: the EXIF's, as photo tools read it (a camera's
    // JPEG may carry a JFIF density of 72 beside it), else the file's own;
    // across and down change places when rows and columns do.
    std::optional<PrintResolution> resolution = exif ? resolutionIn(exif->data) : std::nullopt;
    if (!resolution) {
        resolution = stored.resolution;
    }
    if (resolution && turned) {
        std::swap(resolution->x, resolution->y);
    }
    upright.metadata.resolution = resolution;
    upright.metadata.pngText = stored.pngText;
    upright.metadata.comments = stored.comments;
    upright.metadata.pngColour = stored.pngColour;

    if (exif) {
        Exiv2::ExifData& data = exif->data;
        for (auto datum = data.begin(); datum != data.end();) {
            const std::string group = datum->groupName();
            if (isOtherImagesGroup(group) || (group == "Image" && isLayoutOrCarrierTag(datum->tag()))) {
                datum = data.erase(datum);
            } else {
                ++datum;
            }
        }
        updateExif(data, "Exif.Image.Orientation", 1);
        if (resolution) {
            setResolution(data, *resolution);
        }
        updateExif(data, "Exif.Photo.PixelXDimension", width);
        updateExif(data, "Exif.Photo.PixelYDimension", height);
        try {
            if (!data.empty()) {
                upright.metadata.exif = tiffForm(data, exif->order);
            }
        } catch (const std::exception& error) {
            warnings.push_back(cannotRead(name, "EXIF", session.why(error.what(), "cannot be written again")));
        }
    }
    if (xmp) {
        const auto guid = xmp->findKey(Exiv2::XmpKey(kHasExtendedXmp));
        if (guid != xmp->end()) {
            xmp->erase(guid);
        }
        updateXmp(*xmp, "Xmp.tiff.Orientation", 1);
        updateXmp(*xmp, "Xmp.tiff.ImageWidth", width);
        updateXmp(*xmp, "Xmp.tiff.ImageLength", height);
        updateXmp(*xmp, "Xmp.exif.PixelXDimension", width);
        updateXmp(*xmp, "Xmp.exif.PixelYDimension", height);
        if (turned) {
            const auto x = xmp->findKey(Exiv2::XmpKey("Xmp.tiff.XResolution"));
            const auto y = xmp->findKey(Exiv2::XmpKey("Xmp.tiff.YResolution"));
            if (x != xmp->end() && y != xmp->end()) {
                const std::string across = x->toString();
                x->setValue(y->toString());
                y->setValue(across);
            }
        }
        try {
            if (!xmp->empty()) {
                upright.metadata.xmp = serialise(*xmp);
            }
        } catch (const std::exception& error) {
            warnings.push_back(cannotRead(name, "XMP", session.why(error.what(), "cannot be written again")));
        }
    }
    // An ICC profile's header names the colour space of the data it
    // describes at bytes 16 to 19.
    const std::vector<std::uint8_t>& profile = stored.iccProfile;
    if (profile.size() >= 128 && std::memcmp(profile.data() + 16, "RGB ", 4) == 0) {
        upright.metadata.iccProfile = profile;
    }
    return upright;
}

bool readTiffMetadata(ByteSource& file, FileHeader& decoded) {
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
            decoded.metadata.exif = tiffForm(exif, order);
        }
        if (!xmp.empty()) {
            decoded.metadata.xmp = serialise(xmp);
        } else if (packetUnread) {
            decoded.warnings.push_back(cannotRead(name, "XMP", session.why("", "not well-formed XMP")));
        }
        if (!iptc.empty()) {
            const Exiv2::DataBuf datasets = Exiv2::IptcParser::encode(iptc);
            decoded.metadata.iptc.assign(datasets.pData_, datasets.pData_ + datasets.size_);
        }
    } catch (const std::exception& error) {
        decoded.warnings.push_back(cannotRead(name, "EXIF", session.why(error.what(), "a damaged directory")));
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

namespace {

// exiv2's input, read from a ByteSource in the pieces exiv2 asks for: it
// walks a file's chunks and skips the rest.
class SourceIo : public Exiv2::BasicIo {
public:
    explicit SourceIo(ByteSource& file) : file_(file) {}
    int open() override {
        position_ = 0;
        return 0;
    }
    int close() override { return 0; }
    long write(const Exiv2::byte*, long) override { return 0; }
    long write(Exiv2::BasicIo&) override { return 0; }
    int putb(Exiv2::byte) override { return EOF; }
    Exiv2::DataBuf read(long count) override {
        Exiv2::DataBuf buffer(std::max(count, 0L));
        const long got = read(buffer.pData_, count);
        buffer.size_ = got;
        return buffer;
    }
    long read(Exiv2::byte* buffer, long count) override {
        if (count <= 0 || position_ >= file_.size()) {
            eof_ = true;
            return 0;
        }
        file_.seek(position_);
        const std::size_t got = file_.read(buffer, static_cast<std::size_t>(count));
        position_ += got;
        eof_ = got < static_cast<std::size_t>(count);
        return static_cast<long>(got);
    }
    int getb() override {
        Exiv2::byte byte = 0;
        return read(&byte, 1) == 1 ? byte : EOF;
    }
    void transfer(Exiv2::BasicIo&) override { throw Exiv2::Error(Exiv2::kerFunctionNotSupported, "transfer"); }
    int seek(long offset, Position from) override {
        const std::int64_t base = from == beg   ? 0
                                  : from == cur ? static_cast<std::int64_t>(position_)
                                                : static_cast<std::int64_t>(file_.size());
        const std::int64_t target = base + offset;
        if (target < 0 || static_cast<std::uint64_t>(target) > file_.size()) {
            return 1;
        }
        position_ = static_cast<std::uint64_t>(target);
        eof_ = false;
        return 0;
    }
    Exiv2::byte* mmap(bool) override { return const_cast<Exiv2::byte*>(file_.mapped()); }
    int munmap() override { return 0; }
    long tell() const override { return static_cast<long>(position_); }
    std::size_t size() const override { return static_cast<std::size_t>(file_.size()); }
    bool isopen() const override { return true; }
    int error() const override { return 0; }
    bool eof() const override { return eof_; }
    std::string path() const override { return file_.name(); }

private:
    ByteSource& file_;
    std::uint64_t position_ = 0;
    bool eof_ = false;
};

}  // namespace

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

// ---- EXIF for TIFF ----

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

std::vector<std::uint8_t> iptcFromPhotoshopResources(const std::vector<std::uint8_t>& resources) {
    const Exiv2Session session;
    std::vector<std::uint8_t> iptc;
    const Exiv2::byte* at = resources.data();
    long left = static_cast<long>(resources.size());
    // The datasets may be split over several resources.
    while (left > 0) {
        const Exiv2::byte* record = nullptr;
        std::uint32_t headerSize = 0;
        std::uint32_t dataSize = 0;
        if (Exiv2::Photoshop::locateIptcIrb(at, left, &record, &headerSize, &dataSize) != 0) {
            break;
        }
        iptc.insert(iptc.end(), record + headerSize, record + headerSize + dataSize);
        const long consumed = static_cast<long>(record - at) + headerSize + dataSize + (dataSize & 1);
        at += consumed;
        left -= consumed;
    }
    return iptc;
}

std::vector<std::uint8_t> photoshopResourcesWith(const std::vector<std::uint8_t>& iptc) {
    const Exiv2Session session;
    Exiv2::IptcData data;
    if (Exiv2::IptcParser::decode(data, iptc.data(), static_cast<std::uint32_t>(iptc.size())) != 0) {
        return {};
    }
    const Exiv2::DataBuf resources = Exiv2::Photoshop::setIptcIrb(nullptr, 0, data);
    return {resources.pData_, resources.pData_ + resources.size_};
}

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

namespace {

// Text as valid UTF-8: as it stands if it is, else read as Latin-1.
std::string asUtf8(const std::string& text) {
    bool valid = true;
    for (std::size_t i = 0; i < text.size() && valid;) {
        const auto lead = static_cast<unsigned char>(text[i]);
        const std::size_t length = lead < 0x80    ? 1
                                   : lead >= 0xF8 ? 0
                                   : lead >= 0xF0 ? 4
                                   : lead >= 0xE0 ? 3
                                   : lead >= 0xC2 ? 2
                                                  : 0;
        valid = length != 0 && i + length <= text.size();
        for (std::size_t k = 1; valid && k < length; ++k) {
            valid = (static_cast<unsigned char>(text[i + k]) & 0xC0) == 0x80;
        }
        i += length;
    }
    if (valid) {
        return text;
    }
    std::string utf8;
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x80) {
            utf8 += c;
        } else {
            utf8 += static_cast<char>(0xC0 | (byte >> 6));
            utf8 += static_cast<char>(0x80 | (byte & 0x3F));
        }
    }
    return utf8;
}

// The XMP properties that carry PNG's registered text keywords and a JPEG's
// comment, in formats without text chunks.
struct TextProperty {
    const char* keyword;
    const char* key;
    Exiv2::TypeId type;  // langAlt, xmpSeq or xmpText
};
constexpr TextProperty kTextProperties[] = {
    {"Title", "Xmp.dc.title", Exiv2::langAlt},
    {"Author", "Xmp.dc.creator", Exiv2::xmpSeq},
    {"Description", "Xmp.dc.description", Exiv2::langAlt},
    {"Copyright", "Xmp.dc.rights", Exiv2::langAlt},
    {"Software", "Xmp.xmp.CreatorTool", Exiv2::xmpText},
    {"Comment", "Xmp.exif.UserComment", Exiv2::langAlt},
};

// Puts PNG text (in `language`, or none) into the XMP property that carries
// its keyword, unless the picture's own XMP had that property already (for
// a language alternative, in that language): the XMP, the fuller record,
// wins. Each language of a title, description or rights statement becomes
// an alternative of its own (see addDefaultLanguages); authors add up.
// False when the property holds something else already and has no room for
// more (a second CreatorTool, a second text in one language).
bool addTextProperty(Exiv2::XmpData& xmp, const Exiv2::XmpData& own, const TextProperty& property,
                     const std::string& text, const std::string& language) {
    const Exiv2::XmpKey key(property.key);
    const auto ownDatum = own.findKey(key);
    const auto found = xmp.findKey(key);
    if (property.type == Exiv2::langAlt) {
        const std::string lang = language.empty() ? "x-default" : language;
        auto has = [&lang](const Exiv2::Xmpdatum& datum) -> const std::string* {
            const auto* alternatives = dynamic_cast<const Exiv2::LangAltValue*>(&datum.value());
            if (alternatives == nullptr) {
                return nullptr;
            }
            const auto entry = alternatives->value_.find(lang);
            return entry == alternatives->value_.end() ? nullptr : &entry->second;
        };
        if (ownDatum != own.end() && (language.empty() || has(*ownDatum) != nullptr)) {
            return true;
        }
        if (found == xmp.end()) {
            Exiv2::LangAltValue value;
            value.read("lang=" + lang + " " + text);
            xmp.add(key, &value);
            return true;
        }
        if (const std::string* existing = has(*found)) {
            return *existing == text;
        }
        const auto* alternatives = dynamic_cast<const Exiv2::LangAltValue*>(&found->value());
        if (alternatives == nullptr) {
            return false;
        }
        Exiv2::LangAltValue value = *alternatives;
        value.read("lang=" + lang + " " + text);
        found->setValue(&value);
        return true;
    }
    if (ownDatum != own.end()) {
        return true;
    }
    if (found == xmp.end()) {
        const Exiv2::Value::AutoPtr value = Exiv2::Value::create(property.type);
        value->read(text);
        xmp.add(key, value.get());
        return true;
    }
    if (property.type == Exiv2::xmpSeq) {
        const Exiv2::Value::AutoPtr value = found->value().clone();
        value->read(text);
        found->setValue(value.get());
        return true;
    }
    return found->toString() == text;
}

// Gives each alternative-language text property made from PNG text a
// default (x-default), which XMP readers show when they know none of the
// languages: the text of its first language.
void addDefaultLanguages(Exiv2::XmpData& xmp, const Exiv2::XmpData& own) {
    for (const TextProperty& property : kTextProperties) {
        const Exiv2::XmpKey key(property.key);
        const auto found = xmp.findKey(key);
        if (property.type != Exiv2::langAlt || found == xmp.end() || own.findKey(key) != own.end()) {
            continue;
        }
        const auto* alternatives = dynamic_cast<const Exiv2::LangAltValue*>(&found->value());
        if (alternatives != nullptr && !alternatives->value_.empty() && alternatives->value_.count("x-default") == 0) {
            Exiv2::LangAltValue value = *alternatives;
            value.read("lang=x-default " + alternatives->value_.begin()->second);
            found->setValue(&value);
        }
    }
}

}  // namespace

ImageMetadata metadataForFormat(const ImageMetadata& metadata, ImageFormat format, EncodeReport& report) {
    ImageMetadata out = metadata;
    const bool png = format == ImageFormat::Png;
    // A description in numbers (nclx): kept in AVIF, which holds one; a
    // matching ICC profile elsewhere, or a warning where none can say it.
    if (out.cicp && format != ImageFormat::Avif) {
        if (out.iccProfile.empty()) {
            if (const std::optional<std::vector<std::uint8_t>> profile = iccProfileFor(*out.cicp)) {
                out.iccProfile = *profile;
            } else {
                report.leftOut("colour description (nclx primaries " + std::to_string(out.cicp->primaries) +
                                   ", transfer " + std::to_string(out.cicp->transfer) + ")",
                               "no ICC profile of RGB can say it");
            }
        }
        out.cicp.reset();
    }
    // PNG's colour chunks: kept in PNG; elsewhere, said by an ICC profile.
    if (!png) {
        if (out.iccProfile.empty() && !out.pngColour.empty()) {
            out.iccProfile = iccProfileFor(out.pngColour);
            if (out.iccProfile.empty()) {
                report.leftOut("PNG colour chunks (gAMA, cHRM, sRGB)", "no ICC profile can say what they say");
            }
        }
        out.pngColour = {};
    }
    // Comments: COM segments in JPEG, "Comment" text in PNG; elsewhere XMP.
    std::vector<std::string> comments;
    if (format == ImageFormat::Jpeg) {
        for (auto text = out.pngText.begin(); text != out.pngText.end();) {
            if (text->keyword == "Comment") {
                out.comments.push_back(text->text);
                text = out.pngText.erase(text);
            } else {
                ++text;
            }
        }
    } else if (png) {
        for (const std::string& comment : out.comments) {
            PngText text;
            text.keyword = "Comment";
            text.text = asUtf8(comment);
            out.pngText.push_back(text);
        }
        out.comments.clear();
    } else {
        for (const std::string& comment : out.comments) {
            comments.push_back(asUtf8(comment));
        }
        out.comments.clear();
    }
    // WebP, AVIF and JPEG XL keep the resolution only in EXIF.
    const bool boxesOnly = format == ImageFormat::Webp || format == ImageFormat::Avif || format == ImageFormat::Jxl;
    if (boxesOnly && out.exif.empty() && out.resolution) {
        const Exiv2Session session;
        try {
            Exiv2::ExifData exif;
            setResolution(exif, *out.resolution);
            out.exif = tiffForm(exif, Exiv2::littleEndian);
        } catch (const std::exception& error) {
            report.leftOut("resolution", session.why(error.what(), "exiv2 failed"));
        }
    }
    // What needs the XMP: IPTC-IIM where the format has no place for it,
    // text where it has no text chunks.
    const bool iptcIntoXmp = (png || boxesOnly) && !out.iptc.empty();
    if (!iptcIntoXmp && (png || (out.pngText.empty() && comments.empty()))) {
        return out;
    }
    const Exiv2Session session;
    Exiv2::XmpData xmp;
    try {
        xmp = out.xmp.empty() ? Exiv2::XmpData() : parseXmp(out.xmp);
    } catch (const std::exception& error) {
        report.leftOut("text and IPTC-IIM data as XMP", session.why(error.what(), "exiv2 failed"));
        return out;
    }
    if (iptcIntoXmp) {
        Exiv2::IptcData iptc;
        if (Exiv2::IptcParser::decode(iptc, out.iptc.data(), static_cast<std::uint32_t>(out.iptc.size())) == 0) {
            Exiv2::XmpData fromIptc;
            Exiv2::copyIptcToXmp(iptc, fromIptc);
            addMissing(xmp, fromIptc);
        } else {
            report.leftOut("IPTC-IIM data as XMP", session.why("", "exiv2 cannot read it"));
        }
        out.iptc.clear();
    }
    if (!png) {
        const Exiv2::XmpData own = xmp;
        std::string leftOut;
        for (const PngText& text : out.pngText) {
            const auto* property = std::find_if(std::begin(kTextProperties), std::end(kTextProperties),
                                                [&](const TextProperty& p) { return text.keyword == p.keyword; });
            if (property == std::end(kTextProperties) ||
                !addTextProperty(xmp, own, *property, text.text, text.international ? text.language : "")) {
                leftOut += (leftOut.empty() ? "'" : ", '") + text.keyword +
                           (text.language.empty() ? "" : " (" + text.language + ")") + "'";
            }
        }
        if (!leftOut.empty()) {
            const bool several = leftOut.find(',') != std::string::npos;
            report.leftOut(std::string("PNG text ") + leftOut,
                           std::string(formatName(format)) + " has no place for " + (several ? "them" : "it"));
        }
        out.pngText.clear();
        std::string joined;
        for (const std::string& comment : comments) {
            joined += (joined.empty() ? "" : "\n") + comment;
        }
        if (!joined.empty() &&
            !addTextProperty(xmp, own, kTextProperties[std::size(kTextProperties) - 1], joined, "")) {
            report.leftOut("comment", "the picture's text holds another Comment");
        }
        addDefaultLanguages(xmp, own);
    }
    try {
        out.xmp = xmp.empty() ? std::string() : serialise(xmp);
    } catch (const std::exception& error) {
        report.leftOut("text and IPTC-IIM data as XMP", session.why(error.what(), "exiv2 failed"));
    }
    return out;
}

}  // namespace host
