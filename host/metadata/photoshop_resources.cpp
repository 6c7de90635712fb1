#include "host/metadata/photoshop_resources.h"

#include "host/metadata/exiv2_session.h"

namespace host {

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

}  // namespace host
