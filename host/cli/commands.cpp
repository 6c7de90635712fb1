#include "host/cli/commands.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <iomanip>
#include <thread>

#include "host/cli/arguments.h"
#include "host/cli/batch.h"
#include "host/cli/progress_report.h"
#include "host/files/file_identity.h"
#include "host/files/input_file.h"
#include "host/host_error.h"
#include "host/image/image_files.h"
#include "host/pipeline/tone_file.h"
#include "host/plugin/plugin_library.h"
#include "host/plugin/preset_list.h"
#include "host/sheet/contact_sheet.h"
#include "host/sheet/test_chart.h"
#include "host/utf8_path.h"

namespace host {

std::string programUsage() {
    return "usage: sepia-host COMMAND [ARGUMENTS]\n"
           "       sepia-host --version [PLUGIN]\n"
           "\n"
           "Loads a colour-toning plug-in library by path, as the host application\n"
           "does, and runs it on images.\n"
           "\n"
           "commands:\n"
           "  info PLUGIN                                        what the plug-in reports\n"
           "  apply PLUGIN --preset PRESET IN OUT                tone one image file\n"
           "  apply PLUGIN --preset PRESET --output-dir DIR IN...  tone many\n"
           "  sheet PLUGIN [IN] OUT                              the original and every preset, side by side\n"
           "\n"
           "--version prints this program's version and the plug-in's (the one given,\n"
           "or the one installed with it). Run 'sepia-host COMMAND --help' for a\n"
           "command's details.\n";
}

std::string infoUsage() {
    return "usage: sepia-host info PLUGIN\n"
           "\n"
           "Loads PLUGIN (a .so or .dll path) and prints its name, identifier,\n"
           "category, description, the answer of every fixed entry, and the presets\n"
           "its parameter record lists, one label a line with its index.\n";
}

namespace {

// `text` wrapped at 78 columns, each line after the first indented by
// `indent` spaces.
std::string wrapped(const std::string& text, std::size_t indent, std::size_t first = 0) {
    std::string out;
    std::size_t column = first;
    std::size_t at = 0;
    while (at < text.size()) {
        std::size_t end = text.find(' ', at);
        if (end == std::string::npos) {
            end = text.size();
        }
        const std::string word = text.substr(at, end - at);
        if (column > indent && column + 1 + word.size() > 78) {
            out += '\n';
            out.append(indent, ' ');
            column = indent;
        } else if (column > first || !out.empty()) {
            out += ' ';
            ++column;
        }
        out += word;
        column += word.size();
        at = end + 1;
    }
    return out;
}

// The formats read, not written, and what their files become in a batch.
std::string notWritten() {
    std::string text;
    for (const Format& format : formats()) {
        if (format.write == nullptr) {
            text += std::string(text.empty() ? "" : " ") + format.name + " is read, not written: with --output-dir a " +
                    format.name + " input becomes " + (formatName(format.writtenAs)[0] == 'A' ? "an " : "a ") +
                    formatName(format.writtenAs) + ".";
        }
    }
    return text;
}

// "PNG, JPEG, TIFF, WebP, HEIF (HEIC), AVIF or JPEG XL"
std::string inputFormats() {
    std::string text = formatList("read");
    for (const Format& format : formats()) {
        if (format.alsoCalled != nullptr) {
            const std::string name = format.name;
            if (const std::size_t at = text.find(name); at != std::string::npos) {
                text.insert(at + name.size(), std::string(" (") + format.alsoCalled + ")");
            }
        }
    }
    return text;
}

}  // namespace

namespace {

// What apply does with orientation and metadata, and what it promises of
// the files it writes.
const char* uprightAndMetadataText() {
    return "Pictures are read upright: the EXIF, TIFF or XMP orientation, or HEIF's\n"
           "and JPEG XL's own, is applied (a JPEG, PNG or TIFF stored turned goes\n"
           "through a temporary file beside OUT), and the metadata written records\n"
           "orientation 1 and the upright size.\n"
           "Metadata is kept, in every format that has a place for it:\n"
           "  EXIF, with GPS and maker notes   every format; without its thumbnail,\n"
           "                                   which shows the picture before toning\n"
           "  XMP                              every format (in JPEG extended XMP if\n"
           "                                   large)\n"
           "  IPTC-IIM                         JPEG (APP13), TIFF; elsewhere its fields\n"
           "                                   go into the XMP (IPTC Core)\n"
           "  ICC profile (RGB only)           every format; PNG's gAMA, cHRM and sRGB,\n"
           "                                   and HEIF's colour numbers (nclx), become\n"
           "                                   one where the output cannot keep them\n"
           "  PNG text, JPEG comments          as they are in their format; elsewhere\n"
           "                                   Title, Author, Description, Copyright\n"
           "                                   go into the XMP, comments into comments\n"
           "  print resolution                 every format\n"
           "A block that cannot be read or written is left out with a warning; the\n"
           "picture is still written and the exit status is 0. So are the pages or\n"
           "frames a file holds beyond its first, but for TIFF into TIFF.\n"
           "16-bit samples are rounded to 8 bits, the plug-in's pixel format. Alpha is\n"
           "kept in every format but JPEG, which has none. HEIF and AVIF samples of\n"
           "10 and 12 bits are rounded to 8 bits too. Every output is written whole\n"
           "or not at all, and never over an input. With --output-dir a file that\n"
           "fails is reported and the others are still toned; the exit status is 1\n"
           "if any failed. Ctrl-C stops the work between bands, leaves nothing behind\n"
           "and exits 130.\n";
}

}  // namespace

std::string applyUsage() {
    std::string alsoHeld;
    for (const Format& format : formats()) {
        if (format.streams && format.heldWholeToo != nullptr) {
            alsoHeld += std::string(alsoHeld.empty() ? "" : " and ") + format.heldWholeToo;
        }
    }
    return "usage: sepia-host apply PLUGIN --preset PRESET [OPTIONS] IN OUT\n"
           "       sepia-host apply PLUGIN --preset PRESET --output-dir DIR [OPTIONS] IN...\n"
           "\n"
           "Tones the image IN with PRESET and writes OUT; or tones every IN into\n"
           "DIR/<IN's name without extension>.<ext>, creating DIR if it is missing;\n"
           "with -r, an IN that is a folder gives every picture in it, its tree kept.\n"
           "  PRESET             a label as 'info' lists it (\"Cyanotype 2\") or its index (7)\n"
           "  IN                 " +
           wrapped("a " + inputFormats() + " file; - reads standard input", 21, 21) +
           "\n"
           "  OUT                " +
           wrapped(writableExtensions() +
                       " (any case): the extension chooses the format; - writes standard output (with --format). " +
                       notWritten(),
                   21, 21) +
           "\n"
           "options:\n"
           "  -o, --output-dir DIR  tone every IN into DIR\n"
           "  --format EXT          " +
           wrapped("write EXT files (" + formatList("short", "or") +
                       "): with --output-dir instead of each IN's own format; with OUT - the format written to "
                       "standard output",
                   24, 24) +
           "\n"
           "  -j, --jobs N          with --output-dir: N files at a time (default: this\n"
           "                        machine's cores)\n"
           "  -r, --recursive       with --output-dir: tone the pictures (told by their\n"
           "                        content) in the folders among IN and in their\n"
           "                        folders, into the same tree under DIR; hidden\n"
           "                        files and folders, and DIR, are left out\n"
           "  --hidden              with -r: hidden files and folders too\n"
           "  --skip-existing       with --output-dir: leave alone each output that\n"
           "                        exists and is not older than its IN; a stopped run,\n"
           "                        run again, tones only what is missing\n"
           "  --name TEMPLATE       with --output-dir: name outputs by TEMPLATE, under\n"
           "                        DIR, of {stem} (IN's name without extension),\n"
           "                        {ext} (the extension written), {dir} (IN's folder\n"
           "                        within the folder walked), {preset}, {n} (a counter;\n"
           "                        {n:4} pads it to 4 digits); default {dir}/{stem}.{ext}\n"
           "  --keep-dates          give each output its IN's modification time\n"
           "  --quiet               no progress line on a terminal, no summary\n"
           "  -q, --quality Q       " +
           wrapped(formatList("quality", "and") + " quality, 1 to 100 (default 90)", 24, 24) +
           "\n"
           "  --lossless            " +
           wrapped(formatList("lossless", "and") + ": lossless instead of lossy", 24, 24) +
           "\n"
           "  --strip               write no metadata (EXIF, XMP, IPTC-IIM, ICC profile,\n"
           "                        text, comments); the print resolution stays\n"
           "  --max-pixels N        refuse pictures of more than N pixels (default\n"
           "                        4294967296, 65536 x 65536)\n"
           "\n" +
           wrapped("Pictures stream: " + formatList("streamed", "and") +
                       " (strips, tiles, BigTIFF, every page) are read, toned and written a band of rows at a time, "
                       "so memory does not grow with the picture. " +
                       formatList("held", "and") +
                       " hold the whole picture, as their libraries decode and encode whole pictures; so do " +
                       alsoHeld + ".",
                   0) +
           "\n"
           "On a terminal, standard error shows a progress line (files done and left,\n"
           "the file in work and its rows, MB/s, time left); with --output-dir a\n"
           "summary ends the run: toned, skipped, failed, time.\n"
           "\n" +
           uprightAndMetadataText();
}

std::string sheetUsage() {
    return "usage: sepia-host sheet PLUGIN [IN] OUT\n"
           "\n" +
           wrapped("Writes OUT (" + writableExtensions() +
                       "): a contact sheet of the original image and every preset, each tile labelled with its "
                       "preset's name. Without IN it uses a built-in test chart (hue sweep, grey ramp, colour and "
                       "skin patches).",
                   0) +
           "\n";
}

namespace {

void requireWritableExtension(const std::string& path) {
    if (const std::optional<ImageFormat> format = formatFromExtension(path); format && !canWrite(*format)) {
        throw UsageError("cannot write '" + path + "': " + formatName(*format) + " is read, not written (" +
                         formatOf(*format).notWrittenBecause + "); the output must end in " + writableExtensions());
    }
    if (!canWriteImageTo(path)) {
        throw UsageError("cannot write '" + path + "': the output must end in " + writableExtensions());
    }
}

std::string hex(std::intptr_t value) {
    char text[32];
    std::snprintf(text, sizeof(text), "0x%llX", static_cast<unsigned long long>(value));
    return text;
}

// The --format value as an extension: "jpg", ".JPG" and "jpeg" all name JPEG.
std::string formatExtension(const std::string& format) {
    std::string extension = format.rfind('.', 0) == 0 ? format.substr(1) : format;
    if (extension.empty() || !canWriteImageTo("x." + extension)) {
        throw UsageError("--format must be " + formatList("extensions") + " (with or without the dot), not '" + format +
                         "'");
    }
    return extension;
}

// A whole number of up to 18 digits, at least 1.
std::uint64_t largeNumberOption(const std::string& option, const std::string& text) {
    std::uint64_t value = 0;
    bool digits = !text.empty() && text.size() <= 18;
    for (const char c : text) {
        digits = digits && c >= '0' && c <= '9';
        value = value * 10 + static_cast<std::uint64_t>(c - '0');
    }
    if (!digits || value == 0) {
        throw UsageError(option + " must be a whole number of at least 1, not '" + text + "'");
    }
    return value;
}

int defaultJobs() {
    const unsigned cores = std::thread::hardware_concurrency();
    return cores == 0 ? 1 : static_cast<int>(std::min(cores, 256u));
}

}  // namespace

int runInfo(const std::vector<std::string>& arguments, Console& console) {
    const ParsedArguments parsed = parseArguments(arguments, {});
    if (parsed.positional.size() != 1) {
        throw UsageError("info takes exactly one PLUGIN path");
    }
    const PluginLibrary library(parsed.positional[0]);
    const PluginObject object(library);
    const PresetList presets = describePresets(object);

    std::ostream& out = console.out;
    out << "plug-in      " << parsed.positional[0] << "\n"
        << "name         " << library.pluginName() << "\n"
        << "identifier   " << library.pluginId() << "\n"
        << "category     " << library.category() << "\n"
        << "description  " << object.description() << "\n"
        << "entries      ";
    for (int entry : {2, 3, 4, 5, 6, 7, 9, 11, 15, 16, 17, 18}) {
        const std::intptr_t answer = object.call<std::intptr_t>(entry);
        out << entry << "=" << (answer > 255 ? hex(answer) : std::to_string(answer)) << " ";
    }
    // Entries 10, 12 and 14 return nothing; calling them must have no effect.
    object.call<void>(10);
    object.call<void>(12);
    object.call<void>(14);
    out << "(10, 12, 14: no result)\n"
        << "parameter    value " << presets.defaultValue << ", minimum " << presets.minimum << ", maximum "
        << presets.maximum << ", auxiliary " << presets.auxiliary << ", kind " << presets.kind << "\n"
        << "presets\n";
    for (std::size_t i = 0; i < presets.labels.size(); ++i) {
        out << std::setw(4) << i << "  " << presets.labels[i] << "\n";
    }
    return 0;
}

namespace {

// What apply was asked to do.
struct ApplyRequest {
    std::string plugin;
    std::string presetChoice;
    std::vector<std::string> inputs;
    std::string output;                 // one file's, without --output-dir
    std::optional<std::string> folder;  // --output-dir
    std::optional<std::string> format;  // --format, as an extension
    std::optional<std::string> name;    // --name
    ToneOptions options;
    WalkRules walk;
    bool skipExisting = false;
    bool quiet = false;
    int jobs = 1;
};

ApplyRequest parseApply(const std::vector<std::string>& arguments) {
    const ParsedArguments parsed = parseArguments(arguments, {{"--preset", "-p", true},
                                                              {"--output-dir", "-o", true},
                                                              {"--format", nullptr, true},
                                                              {"--jobs", "-j", true},
                                                              {"--quality", "-q", true},
                                                              {"--lossless", nullptr, false},
                                                              {"--strip", nullptr, false},
                                                              {"--max-pixels", nullptr, true},
                                                              {"--recursive", "-r", false},
                                                              {"--hidden", nullptr, false},
                                                              {"--skip-existing", nullptr, false},
                                                              {"--name", nullptr, true},
                                                              {"--keep-dates", nullptr, false},
                                                              {"--quiet", nullptr, false}});
    ApplyRequest request;
    request.folder = parsed.value("--output-dir");
    const bool batch = request.folder.has_value();
    if (!batch && parsed.positional.size() != 3) {
        throw UsageError("apply takes PLUGIN, IN and OUT, or PLUGIN, --output-dir DIR and one or more IN");
    }
    if (batch && parsed.positional.size() < 2) {
        throw UsageError("apply --output-dir DIR needs PLUGIN and at least one IN");
    }
    const bool toStandardOutput = !batch && parsed.positional[2] == kStandardStream;
    for (const char* option : {"--jobs", "--recursive", "--hidden", "--skip-existing", "--name"}) {
        if (!batch && parsed.has(option)) {
            throw UsageError(std::string(option) + " goes with --output-dir");
        }
    }
    if (!batch && parsed.has("--format") != toStandardOutput) {
        throw UsageError(toStandardOutput ? "writing to standard output (-) needs --format"
                                          : "--format goes with --output-dir or OUT '-'; else OUT names the format");
    }
    if (batch &&
        std::find(parsed.positional.begin() + 1, parsed.positional.end(), kStandardStream) != parsed.positional.end()) {
        throw UsageError("standard input (-) is one file: it goes without --output-dir");
    }
    if (!parsed.value("--preset")) {
        throw UsageError("apply needs --preset PRESET");
    }
    request.plugin = parsed.positional[0];
    request.presetChoice = *parsed.value("--preset");
    request.inputs.assign(parsed.positional.begin() + 1, batch ? parsed.positional.end() : parsed.positional.end() - 1);
    if (!batch) {
        request.output = parsed.positional[2];
    }
    if (const auto quality = parsed.value("--quality")) {
        request.options.write.encode.quality = wholeNumberOption("--quality", *quality, 1, 100);
    }
    request.options.write.encode.lossless = parsed.has("--lossless");
    request.options.write.strip = parsed.has("--strip");
    request.options.keepDates = parsed.has("--keep-dates");
    if (const auto pixels = parsed.value("--max-pixels")) {
        request.options.limits.maxPixels = largeNumberOption("--max-pixels", *pixels);
    }
    request.jobs = parsed.has("--jobs") ? wholeNumberOption("--jobs", *parsed.value("--jobs"), 1, 256) : defaultJobs();
    if (const auto given = parsed.value("--format")) {
        request.format = formatExtension(*given);
    }
    request.name = parsed.value("--name");
    request.walk.recursive = parsed.has("--recursive");
    request.walk.hidden = parsed.has("--hidden");
    request.skipExisting = parsed.has("--skip-existing");
    request.quiet = parsed.has("--quiet");
    if (toStandardOutput) {
        request.options.format = formatFromExtension("x." + *request.format);
    } else if (!batch) {
        requireWritableExtension(request.output);
    }
    return request;
}

// One file into another, with its rows as progress on a terminal.
int applyToOneFile(const ApplyRequest& request, const PluginObject& object, int preset, const std::string& label,
                   Console& console) {
    const bool toStandardOutput = request.output == kStandardStream;
    std::error_code error;
    const std::uintmax_t bytes = std::filesystem::file_size(pathFromUtf8(request.inputs.front()), error);
    ProgressReport report(console, console.errIsTerminal && !request.quiet,
                          RunTotals{1, error ? 0 : static_cast<std::uint64_t>(bytes)});
    ToneOptions options = request.options;
    const int slot = report.started(request.inputs.front(), error ? 0 : static_cast<std::uint64_t>(bytes));
    options.progress = [&report, slot](std::uint64_t done, std::uint64_t inAll) { report.rows(slot, done, inAll); };
    TonedFile toned;
    try {
        toned = toneFile(object, preset, label, request.inputs.front(), request.output, options);
    } catch (...) {
        report.finish(false);
        throw;
    }
    report.finish(false);
    for (const std::string& warning : toned.warnings) {
        console.err << "sepia-host apply: warning: " << warning << "\n";
    }
    // Standard output holds the picture: the report goes beside it.
    (toStandardOutput ? console.err : console.out) << toned.line << "\n";
    return 0;
}

// Many files, and the folders walked, into the output folder.
int applyToManyFiles(const ApplyRequest& request, const PluginObject& object, int preset, const std::string& label,
                     Console& console) {
    const std::string& folder = *request.folder;
    BatchSettings settings;
    if (request.name) {
        settings.name = NameTemplate(*request.name);
    }
    std::error_code error;
    std::filesystem::create_directories(pathFromUtf8(folder), error);
    if (error || !std::filesystem::is_directory(pathFromUtf8(folder))) {
        throw HostError("cannot create the output folder '" + folder + "'" + (error ? ": " + error.message() : ""));
    }
    settings.outputFolder = folder;
    settings.format = request.format;
    settings.presetLabel = label;
    settings.skipExisting = request.skipExisting;
    settings.walk = request.walk;
    settings.walk.excluded = identityOf(folder);
    const bool show = console.errIsTerminal && !request.quiet;
    std::optional<RunTotals> totals;
    if (show) {
        // A walk counted first, for the files and time left.
        const WalkTotals counted = countWalk(request.inputs, settings.walk);
        totals = RunTotals{counted.files, counted.bytes};
    }
    BatchPlan plan(request.inputs, settings);
    ProgressReport report(console, show, totals);
    const std::size_t failures = runBatch(plan, object, preset, label, request.options, request.jobs, report);
    const std::size_t passedOver = plan.notPictures();
    report.finish(!request.quiet, passedOver == 0 ? std::string()
                                  : passedOver == 1
                                      ? std::string("; 1 file that is no picture passed over")
                                      : "; " + std::to_string(passedOver) + " files that are no pictures passed over");
    return failures == 0 ? 0 : 1;
}

}  // namespace

int runApply(const std::vector<std::string>& arguments, Console& console) {
    const ApplyRequest request = parseApply(arguments);
    const PluginLibrary library(request.plugin);
    const PluginObject object(library);
    const PresetList presets = describePresets(object);
    const int preset = presets.resolve(request.presetChoice);
    const std::string& label = presets.labels.at(static_cast<std::size_t>(preset));
    return request.folder ? applyToManyFiles(request, object, preset, label, console)
                          : applyToOneFile(request, object, preset, label, console);
}

int runSheet(const std::vector<std::string>& arguments, Console& console) {
    const ParsedArguments parsed = parseArguments(arguments, {});
    if (parsed.positional.size() != 2 && parsed.positional.size() != 3) {
        throw UsageError("sheet takes PLUGIN, an optional IN, and OUT");
    }
    const std::string& output = parsed.positional.back();
    requireWritableExtension(output);
    if (const auto out = identityOf(output);
        parsed.positional.size() == 3 && out && out == identityOf(parsed.positional[1])) {
        throw HostError("'" + parsed.positional[1] + "': the sheet '" + output + "' would replace it");
    }

    const PluginLibrary library(parsed.positional[0]);
    const PluginObject object(library);
    const PresetList presets = describePresets(object);
    const BgraImage original =
        parsed.positional.size() == 3 ? readImageFile(parsed.positional[1]).image : drawTestChart();
    Picture sheet;
    sheet.image = makeContactSheet(original, object, presets);
    for (const std::string& warning : writeImageFile(sheet, output, WriteOptions{})) {
        console.err << "sepia-host sheet: warning: " << warning << "\n";
    }
    console.out << "wrote " << output << " (" << sheet.image.width << " x " << sheet.image.height << ", original and "
                << presets.labels.size() << " presets)\n";
    return 0;
}

}  // namespace host
