#include "host/metadata/exiv2_session.h"

#include <stdexcept>

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

thread_local int sessionDepth = 0;

}  // namespace

std::recursive_mutex& exiv2Lock() {
    static std::recursive_mutex lock;
    return lock;
}

Exiv2Session::Exiv2Session() : turn_(exiv2Lock()), outer_(exiv2Messages) {
    initialiseExiv2();
    if (sessionDepth++ == 0) {
        // The namespace of xmpNote:HasExtendedXMP, which exiv2 does not list.
        Exiv2::XmpProperties::registerNs("http://ns.adobe.com/xmp/note/", "xmpNote");
    }
    exiv2Messages = &messages_;
}

Exiv2Session::~Exiv2Session() {
    exiv2Messages = outer_;
    if (--sessionDepth == 0) {
        Exiv2::XmpProperties::unregisterNs();
    }
}

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

std::vector<std::uint8_t> tiffForm(const Exiv2::ExifData& exif, Exiv2::ByteOrder order) {
    Exiv2::MemIo io;
    Exiv2::TiffParser::encode(io, nullptr, 0, order, exif, Exiv2::IptcData(), Exiv2::XmpData());
    return bytesOf(io);
}

ParsedExif parseExif(const std::vector<std::uint8_t>& block) {
    ParsedExif exif;
    exif.order = Exiv2::ExifParser::decode(exif.data, block.data(), static_cast<std::uint32_t>(block.size()));
    if (exif.order == Exiv2::invalidByteOrder) {
        throw Exiv2::Error(Exiv2::kerNotAnImage, "EXIF");
    }
    return exif;
}

Exiv2::XmpData parseXmp(const std::string& packet) {
    Exiv2::XmpData xmp;
    if (Exiv2::XmpParser::decode(xmp, packet) != 0) {
        throw std::runtime_error("");
    }
    return xmp;
}

std::string serialise(const Exiv2::XmpData& xmp, unsigned extraFlags) {
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

void addMissing(Exiv2::XmpData& into, const Exiv2::XmpData& from) {
    for (const Exiv2::Xmpdatum& datum : from) {
        if (into.findKey(Exiv2::XmpKey(datum.key())) == into.end()) {
            into.add(datum);
        }
    }
}

std::string topLevelProperty(const std::string& key) {
    const std::size_t name = key.find('.', 4);
    const std::size_t end = key.find_first_of("[/", name == std::string::npos ? 0 : name);
    return key.substr(0, end);
}

}  // namespace host
