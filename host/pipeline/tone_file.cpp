#include "host/pipeline/tone_file.h"

#include <algorithm>
#include <cstring>
#include <filesystem>

#include "host/files/file_identity.h"
#include "host/files/input_file.h"
#include "host/files/output_file.h"
#include "host/host_error.h"
#include "host/metadata/upright_metadata.h"
#include "host/pipeline/band_pump.h"
#include "host/pipeline/toned_rows.h"
#include "host/pipeline/upright_rows.h"
#include "host/utf8_path.h"

namespace host {

namespace {

// The folder where a turned picture's temporary tiles go: the output's, on
// the disk that will hold the result anyway.
std::string folderOf(const std::string& output) {
    if (output == kStandardStream) {
        return {};
    }
    std::error_code error;
    return utf8FromPath(std::filesystem::absolute(pathFromUtf8(output), error).parent_path());
}

// A page's layout once upright.
PictureLayout uprightLayout(PictureLayout layout, int orientation) {
    if (orientation >= 5) {
        std::swap(layout.width, layout.height);
    }
    return layout;
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

// The format `output` is written in, or HostError (Write) saying why none.
ImageFormat outputFormat(const std::string& output, const ToneOptions& options) {
    const std::optional<ImageFormat> format = options.format ? options.format : formatFromExtension(output);
    if (!format) {
        throw HostError::writing(output, "unknown extension '" + utf8FromPath(pathFromUtf8(output).extension()) +
                                             "' (use " + writableExtensions() + ")");
    }
    if (!canWrite(*format)) {
        throw HostError::writing(
            output, std::string(formatName(*format)) + " is read, not written (use " + writableExtensions() + ")");
    }
    return *format;
}

// The input opened, its header and its metadata made upright. The reader
// reads the file where it lies: neither moves.
struct OpenedInput {
    std::optional<InputFile> file;
    std::unique_ptr<ImageReader> reader;
    UprightMetadata upright;
};

void openInput(OpenedInput& opened, const std::string& input, const std::string& inputName, const ToneOptions& options,
               std::vector<std::string>& warnings) {
    try {
        opened.file.emplace(input);
        opened.reader = openImageReader(*opened.file, options.limits);
        std::vector<std::string> found = opened.reader->header().warnings;
        opened.upright = uprightMetadata(storedMetadataOf(opened.reader->header()), inputName, found);
        if (!options.write.strip) {
            warnings = std::move(found);
        }
    } catch (const std::bad_alloc&) {
        throw HostError::reading(inputName, "cannot be read: out of memory");
    } catch (const HostError& error) {
        // The system's failures to read the input are reading too.
        throw error.phase() == Phase::Other ? error.as(Phase::Read, inputName) : error;
    }
}

}  // namespace

void toneFilePages(ImageReader& reader, const UprightMetadata& upright, ImageWriter& writer, const PageWork& work) {
    const int pages = reader.header().pages;
    int orientation = upright.orientation;
    for (int page = 0;; ++page) {
        ReaderRows stored(reader);
        UprightRows rows(stored, orientation, work.temporaryFolder, work.inputName);
        TonedRows toned(rows, work.object, work.preset);
        pump(toned, writer, work.rowsDone);
        if (!work.everyPage || page + 1 >= pages || !reader.nextPage()) {
            return;
        }
        const FileHeader& next = reader.header();
        orientation = next.orientation.value_or(1);
        if (!writer.startPage(uprightLayout(next.layout, orientation), uprightPage(next, work.strip))) {
            return;
        }
    }
}

TonedFile toneFile(const PluginObject& object, int preset, const std::string& label, const std::string& input,
                   const std::string& output, const ToneOptions& options) {
    if (input != kStandardStream && output != kStandardStream) {
        if (const std::optional<FileIdentity> out = identityOf(output); out && out == identityOf(input)) {
            throw HostError(Phase::Other, input, "its output '" + output + "' would replace it");
        }
    }
    const ImageFormat format = outputFormat(output, options);
    const std::string inputName = input == kStandardStream ? "standard input" : input;
    const std::string outputName = output == kStandardStream ? "standard output" : output;
    TonedFile toned;
    OpenedInput opened;
    try {
        openInput(opened, input, inputName, options, toned.warnings);
    } catch (const HostError& error) {
        throw error.inToning(inputName, outputName);
    }
    ImageReader& reader = *opened.reader;
    const int pages = reader.header().pages;
    const bool everyPage = formatOf(format).everyPage && pages > 1;
    const PictureLayout layout = uprightLayout(reader.header().layout, opened.upright.orientation);
    try {
        OutputFile out(output);
        EncodeReport report{outputName, toned.warnings};
        std::unique_ptr<ImageWriter> writer =
            openImageWriter(format, out, layout, opened.upright.metadata, options.write, report);
        if (options.keepDates && input != kStandardStream) {
            out.keepModificationTimeOf(input);
        }
        // The rows of every page toned, for progress.
        const std::uint64_t rowsInAll =
            static_cast<std::uint64_t>(layout.height) * static_cast<std::uint64_t>(everyPage ? pages : 1);
        std::uint64_t rowsDone = 0;
        const PageWork work{object, preset, folderOf(output), inputName, everyPage, options.write.strip, [&](int rows) {
                                rowsDone += static_cast<std::uint64_t>(rows);
                                if (options.progress) {
                                    options.progress(std::min(rowsDone, rowsInAll), rowsInAll);
                                }
                            }};
        toneFilePages(reader, opened.upright, *writer, work);
        writer->finish();
        writer.reset();
        out.commit();
    } catch (const std::bad_alloc&) {
        throw HostError::writing(outputName, "out of memory").inToning(inputName, outputName);
    } catch (const HostError& error) {
        // Reading goes on while the output is written: a failure names its
        // phase, and a system failure there is of writing.
        throw(error.phase() == Phase::Other ? error.as(Phase::Write, outputName) : error)
            .inToning(inputName, outputName);
    }
    if (pages > 1 && !everyPage) {
        toned.warnings.push_back("'" + inputName + "' holds " + std::to_string(pages) + " " + reader.header().pageKind +
                                 "s; only the first is toned into '" + outputName + "', the other " +
                                 std::to_string(pages - 1) + " are left out");
    }
    toned.line = "wrote " + outputName + " (" + std::to_string(layout.width) + " x " + std::to_string(layout.height) +
                 ", " + label + (everyPage ? ", " + std::to_string(pages) + " pages" : "") + ")";
    return toned;
}

}  // namespace host
