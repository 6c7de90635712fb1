#include "host/metadata/format_metadata.h"

#include <algorithm>

#include "host/metadata/colour_profile.h"
#include "host/metadata/exif_edits.h"
#include "host/metadata/exiv2_session.h"

namespace host {

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

// A description in numbers (nclx), kept where the format holds one; a
// matching ICC profile elsewhere, or a warning where none can say it.
// PNG's colour chunks: kept in PNG; elsewhere, said by an ICC profile.
void colourForFormat(ImageMetadata& out, const MetadataPlaces& places, EncodeReport& report) {
    if (out.cicp && !places.cicp) {
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
    if (!places.pngColour) {
        if (out.iccProfile.empty() && !out.pngColour.empty()) {
            out.iccProfile = iccProfileFor(out.pngColour);
            if (out.iccProfile.empty()) {
                report.leftOut("PNG colour chunks (gAMA, cHRM, sRGB)", "no ICC profile can say what they say");
            }
        }
        out.pngColour = {};
    }
}

// Comments: comment segments where the format has them (a PNG's "Comment"
// text joins them), "Comment" text where it has text chunks; returned, in
// UTF-8, where it has neither, for the XMP.
std::vector<std::string> commentsForFormat(ImageMetadata& out, const MetadataPlaces& places) {
    std::vector<std::string> forXmp;
    if (places.comments) {
        for (auto text = out.pngText.begin(); text != out.pngText.end();) {
            if (text->keyword == "Comment") {
                out.comments.push_back(text->text);
                text = out.pngText.erase(text);
            } else {
                ++text;
            }
        }
        return forXmp;
    }
    for (const std::string& comment : out.comments) {
        if (places.pngText) {
            PngText text;
            text.keyword = "Comment";
            text.text = asUtf8(comment);
            out.pngText.push_back(text);
        } else {
            forXmp.push_back(asUtf8(comment));
        }
    }
    out.comments.clear();
    return forXmp;
}

// Formats that keep the resolution only in EXIF get an EXIF for it.
void resolutionForFormat(ImageMetadata& out, const MetadataPlaces& places, EncodeReport& report) {
    if (places.resolution || !out.exif.empty() || !out.resolution) {
        return;
    }
    const Exiv2Session session;
    try {
        Exiv2::ExifData exif;
        setResolution(exif, *out.resolution);
        out.exif = tiffForm(exif, Exiv2::littleEndian);
    } catch (const std::exception& error) {
        report.leftOut("resolution", session.why(error.what(), "exiv2 failed"));
    }
}

// PNG text and comments into the XMP's properties for them; what has no
// property is left out with a warning.
void textIntoXmp(Exiv2::XmpData& xmp, ImageMetadata& out, const std::vector<std::string>& comments,
                 const char* formatName, EncodeReport& report) {
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
                       std::string(formatName) + " has no place for " + (several ? "them" : "it"));
    }
    out.pngText.clear();
    std::string joined;
    for (const std::string& comment : comments) {
        joined += (joined.empty() ? "" : "\n") + comment;
    }
    if (!joined.empty() && !addTextProperty(xmp, own, kTextProperties[std::size(kTextProperties) - 1], joined, "")) {
        report.leftOut("comment", "the picture's text holds another Comment");
    }
    addDefaultLanguages(xmp, own);
}

}  // namespace

ImageMetadata metadataForFormat(const ImageMetadata& metadata, const MetadataPlaces& places, const char* formatName,
                                EncodeReport& report) {
    ImageMetadata out = metadata;
    colourForFormat(out, places, report);
    const std::vector<std::string> comments = commentsForFormat(out, places);
    resolutionForFormat(out, places, report);
    // What needs the XMP: IPTC-IIM where the format has no place for it,
    // text where it has no text chunks.
    const bool iptcIntoXmp = !places.iptc && !out.iptc.empty();
    const bool textIntoXmpToo = !places.pngText && (!out.pngText.empty() || !comments.empty());
    if (!iptcIntoXmp && !textIntoXmpToo) {
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
    if (!places.pngText) {
        textIntoXmp(xmp, out, comments, formatName, report);
    }
    try {
        out.xmp = xmp.empty() ? std::string() : serialise(xmp);
    } catch (const std::exception& error) {
        report.leftOut("text and IPTC-IIM data as XMP", session.why(error.what(), "exiv2 failed"));
    }
    return out;
}

}  // namespace host
