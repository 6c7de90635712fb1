#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "host/image/image_files.h"
#include "host/metadata/upright_metadata.h"
#include "host/plugin/plugin_library.h"

namespace host {

// How a file is toned: how it is written, the limits of what is read, the
// output's format when its name does not say it (standard output), whether
// the output takes the input's modification time, and whom to tell of the
// rows written so far and in all (progress), if anyone.
struct ToneOptions {
    WriteOptions write;
    ReadLimits limits;
    std::optional<ImageFormat> format;
    bool keepDates = false;
    std::function<void(std::uint64_t rowsDone, std::uint64_t rowsInAll)> progress;
};

// What toning one file reports: the line "wrote OUT (W x H, LABEL)", and a
// warning for each piece of metadata or picture that could not be kept.
struct TonedFile {
    std::string line;
    std::vector<std::string> warnings;
};

// Reads the image file `input` ("-": standard input), tones it through
// `object` with preset `preset` (named `label`), and writes `output` ("-":
// standard output) whole or not at all. The picture goes through band by
// band, decoded on one thread while the other encodes, turned upright on
// the way (through a temporary file beside the output, where it must be
// turned); every page goes into a format that keeps every page (TIFF).
// Throws HostError, its phase read or write and its message naming the
// input and the output, for a file it cannot read or write; never replaces
// the input. Safe to call from several threads at once.
TonedFile toneFile(const PluginObject& object, int preset, const std::string& label, const std::string& input,
                   const std::string& output, const ToneOptions& options);

// What toning a file's pages needs besides the reader and the writer.
struct PageWork {
    const PluginObject& object;
    int preset;
    std::string temporaryFolder;  // for the tiles of pictures stored turned
    std::string inputName;
    bool everyPage;                          // every page of the reader into the writer (else the first)
    bool strip;                              // the later pages' ICC profiles left out too
    std::function<void(int rows)> rowsDone;  // each band's rows, as written
};

// Each page: pump(tone(upright(reader's rows))) into `writer`, the first
// turned by `upright`'s orientation, later ones by their own.
void toneFilePages(ImageReader& reader, const UprightMetadata& upright, ImageWriter& writer, const PageWork& work);

}  // namespace host
