#pragma once

#include "host/metadata/encode_report.h"
#include "host/metadata/image_metadata.h"

namespace host {

// Where a format keeps what a picture carries besides its pixels; what it
// has no place for goes elsewhere (metadataForFormat).
struct MetadataPlaces {
    bool iptc = false;        // IPTC-IIM as a block of its own (else into the XMP)
    bool pngText = false;     // PNG's text chunks (else registered keywords into the XMP)
    bool comments = false;    // comment segments (else a Comment into the XMP)
    bool pngColour = false;   // PNG's gAMA, cHRM and sRGB (else an ICC profile says them)
    bool resolution = false;  // the print resolution outside EXIF (else EXIF carries it)
    bool cicp = false;        // colour numbers, nclx (else an ICC profile)
};

// The picture's metadata as a format with `places` can hold it:
//  - colour numbers stay where the format has them; elsewhere an ICC
//    profile says what they say, unless the picture has one; so do PNG's
//    colour chunks outside PNG;
//  - comments stay comments where the format has them (a PNG's "Comment"
//    text joins them), become "Comment" text where it has text chunks, and
//    the XMP's exif:UserComment elsewhere;
//  - PNG text stays where the format has text chunks; elsewhere Title,
//    Author, Description, Copyright and Software go into the XMP (dc:title,
//    dc:creator, dc:description, dc:rights, xmp:CreatorTool) where it lacks
//    them, each language an alternative of its own, a "Comment" becomes a
//    comment, and any other keyword is left out with a warning;
//  - IPTC-IIM, where the format has no place for it, goes into the XMP as
//    the IPTC Core properties it lacks;
//  - the resolution goes into EXIF where the format keeps it nowhere else.
// Whatever cannot be carried is left out with a warning naming the output
// and `formatName`.
ImageMetadata metadataForFormat(const ImageMetadata& metadata, const MetadataPlaces& places, const char* formatName,
                                EncodeReport& report);

}  // namespace host
