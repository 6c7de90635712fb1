#include "host/cli/tone_file.h"

#include <algorithm>
#include <cstring>
#include <filesystem>

#include "host/cli/band_pipeline.h"
#include "host/files/file_identity.h"
#include "host/files/input_file.h"
#include "host/files/output_file.h"
#include "host/host_error.h"
#include "host/image/metadata.h"
#include "host/image/upright_rows.h"
#include "host/plugin/preset_list.h"
#include "host/utf8_path.h"

namespace host {

namespace {

// Bands of about 2 MiB, four in flight.
constexpr std::size_t kBandBytes = std::size_t{2} << 20;
constexpr int kBandsInFlight = 4;

// The folder where a turned picture's temporary tiles go: the output's, on
// the disk that will hold the result anyway.
std::string folderOf(const std::string& output) {
    if (output == kStandardStream) {
        return {};
    }
    std::error_code error;
    return utf8FromPath(std::filesystem::absolute(pathFromUtf8(output), error).parent_path());
}

// One page: its rows upright, toned, into `writer`.
void tonePage(ImageReader& reader, int orientation, const std::string& folder, const PluginObject& object, int preset,
              ImageWriter& writer) {
    UprightRows rows(reader, orientation, folder);
    const PictureLayout& layout = rows.layout();
    const std::size_t rowBytes = std::size_t{4} * static_cast<std::size_t>(layout.width);
    const int bandRows = static_cast<int>(std::clamp<std::size_t>(kBandBytes / rowBytes, 1, 1024));
    pumpBands(
        bandRows, rowBytes, kBandsInFlight,
        [&](std::uint8_t* band, int wanted) {
            const int got = rows.next(band, wanted);
            if (got > 0) {
                toneInPlace(object, band, layout.width, got, preset);
            }
            return got;
        },
        [&](const std::uint8_t* band, int count) { writer.writeRows(band, count); });
}

// A later page's own ICC profile (if it describes RGB) and resolution,
// turned with the page.
ImageMetadata uprightPage(const FileHeader& header, bool strip) {
    ImageMetadata page;
    const std::vector<std::uint8_t>& profile = header.metadata.iccProfile;
    if (!strip && profile.size() >= 128 && std::memcmp(profile.data() + 16, "RGB ", 4) == 0) {
        page.iccProfile = profile;
    }
    page.resolution = header.metadata.resolution;
    if (page.resolution && header.orientation.value_or(1) >= 5) {
        std::swap(page.resolution->x, page.resolution->y);
    }
    return page;
}

}  // namespace

TonedFile toneFile(const PluginObject& object, int preset, const std::string& label, const std::string& input,
                   const std::string& output, const ToneOptions& options) {
    if (input != kStandardStream && output != kStandardStream) {
        if (const std::optional<FileIdentity> out = identityOf(output); out && out == identityOf(input)) {
            throw HostError("'" + input + "': its output '" + output + "' would replace it");
        }
    }
    const std::optional<ImageFormat> format = options.format ? options.format : formatFromExtension(output);
    if (!format || !canWrite(*format)) {
        throw HostError("cannot write '" + output + "': " +
                        (format ? std::string(formatName(*format)) + " is read, not written"
                                : "unknown extension '" + utf8FromPath(pathFromUtf8(output).extension()) + "'") +
                        " (use " + writableExtensions() + ")");
    }
    const std::string inputName = input == kStandardStream ? "standard input" : input;
    const std::string outputName = output == kStandardStream ? "standard output" : output;
    TonedFile toned;

    // Reading: the file, its metadata, the picture's layout.
    std::optional<InputFile> file;
    std::unique_ptr<ImageReader> reader;
    UprightMetadata upright;
    try {
        file.emplace(input);
        reader = openImageReader(*file, options.limits);
        std::vector<std::string> warnings = reader->header().warnings;
        upright = uprightMetadata(reader->header(), inputName, warnings);
        if (!options.write.strip) {
            toned.warnings = std::move(warnings);
        }
    } catch (const HostError& error) {
        throw HostError(std::string(error.what()) + "; '" + outputName + "' is not written");
    } catch (const std::bad_alloc&) {
        throw HostError("'" + inputName + "': out of memory; '" + outputName + "' is not written");
    }

    // Toning band by band, written whole or not at all.
    const int pages = reader->header().pages;
    const bool everyPage = *format == ImageFormat::Tiff && pages > 1;
    PictureLayout layout = reader->header().layout;
    if (upright.orientation >= 5) {
        std::swap(layout.width, layout.height);
    }
    try {
        OutputFile out(output);
        EncodeReport report{outputName, toned.warnings};
        std::unique_ptr<ImageWriter> writer =
            openImageWriter(*format, out, layout, upright.metadata, options.write, report);
        const std::string folder = folderOf(output);
        tonePage(*reader, upright.orientation, folder, object, preset, *writer);
        while (everyPage && reader->nextPage()) {
            const FileHeader& page = reader->header();
            PictureLayout pageLayout = page.layout;
            if (page.orientation.value_or(1) >= 5) {
                std::swap(pageLayout.width, pageLayout.height);
            }
            writer->startPage(pageLayout, uprightPage(page, options.write.strip));
            tonePage(*reader, page.orientation.value_or(1), folder, object, preset, *writer);
        }
        writer->finish();
        writer.reset();
        out.commit();
    } catch (const HostError& error) {
        const std::string what = error.what();
        // Errors of reading name the input; those of writing, the output.
        if (what.rfind("'" + inputName + "'", 0) == 0) {
            throw HostError(what + "; '" + outputName + "' is not written");
        }
        throw HostError("'" + inputName + "': " +
                        (what.rfind("cannot write", 0) == 0 ? what : "cannot write '" + outputName + "': " + what));
    } catch (const std::bad_alloc&) {
        throw HostError("'" + inputName + "': cannot write '" + outputName + "': out of memory");
    }

    if (pages > 1 && !everyPage) {
        toned.warnings.push_back("'" + inputName + "' holds " + std::to_string(pages) + " " +
                                 reader->header().pageKind + "s; only the first is toned into '" + outputName +
                                 "', the other " + std::to_string(pages - 1) + " are left out");
    }
    toned.line = "wrote " + outputName + " (" + std::to_string(layout.width) + " x " + std::to_string(layout.height) +
                 ", " + label + (everyPage ? ", " + std::to_string(pages) + " pages" : "") + ")";
    return toned;
}

}  // namespace host
