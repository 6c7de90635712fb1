#include "host/commands.h"

#include <cstdio>
#include <iomanip>
#include <utility>

#include "host/contact_sheet.h"
#include "host/host_error.h"
#include "host/image_files.h"
#include "host/plugin_library.h"
#include "host/preset_list.h"
#include "host/test_chart.h"

namespace host {

const char kProgramUsage[] =
    "usage: sepia-host COMMAND [ARGUMENTS]\n"
    "\n"
    "Loads a colour-toning plug-in library by path, as the host application\n"
    "does, and runs it on images.\n"
    "\n"
    "commands:\n"
    "  info PLUGIN                          what the plug-in reports\n"
    "  apply PLUGIN --preset PRESET IN OUT  tone one image file\n"
    "  sheet PLUGIN [IN] OUT                the original and every preset, side by side\n"
    "\n"
    "Run 'sepia-host COMMAND --help' for a command's details.\n";

const char kInfoUsage[] =
    "usage: sepia-host info PLUGIN\n"
    "\n"
    "Loads PLUGIN (a .so or .dll path) and prints its name, identifier,\n"
    "category, description, the answer of every fixed entry, and the presets\n"
    "its parameter record lists, one label a line with its index.\n";

const char kApplyUsage[] =
    "usage: sepia-host apply PLUGIN --preset PRESET IN OUT\n"
    "\n"
    "Tones the image IN with PRESET and writes OUT.\n"
    "  PRESET  a label as 'info' lists it (\"Cyanotype 2\") or its index (7)\n"
    "  IN      a PNG, JPEG, BMP or TGA file\n"
    "  OUT     a .png or .bmp file; written whole or not at all\n"
    "The image's alpha is kept; an image without alpha gives opaque pixels.\n";

const char kSheetUsage[] =
    "usage: sepia-host sheet PLUGIN [IN] OUT\n"
    "\n"
    "Writes OUT (.png or .bmp): a contact sheet of the original image and\n"
    "every preset, each tile labelled with its preset's name. Without IN it\n"
    "uses a built-in test chart (hue sweep, grey ramp, colour and skin patches).\n";

namespace {

// Splits `arguments` into positionals and the value of one named option.
struct ParsedArguments {
    std::vector<std::string> positional;
    std::string option;
    bool hasOption = false;
};

ParsedArguments parse(const std::vector<std::string>& arguments, const std::string& longName,
                      const std::string& shortName) {
    ParsedArguments parsed;
    auto takeOption = [&](std::string value) {
        if (parsed.hasOption) {
            throw UsageError(longName + " given twice");
        }
        parsed.option = std::move(value);
        parsed.hasOption = true;
    };
    bool onlyPositional = false;
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        const std::string& argument = arguments[i];
        if (onlyPositional || argument.empty() || argument[0] != '-' || argument == "-") {
            parsed.positional.push_back(argument);
        } else if (argument == "--") {
            onlyPositional = true;
        } else if (!longName.empty() && (argument == longName || argument == shortName)) {
            if (i + 1 >= arguments.size()) {
                throw UsageError(longName + " needs a value");
            }
            takeOption(arguments[++i]);
        } else if (!longName.empty() && argument.rfind(longName + "=", 0) == 0) {
            takeOption(argument.substr(longName.size() + 1));
        } else {
            throw UsageError("unknown option '" + argument + "'");
        }
    }
    return parsed;
}

void requireWritableExtension(const std::string& path) {
    if (!canWriteImageTo(path)) {
        throw UsageError("cannot write '" + path + "': the output must end in .png or .bmp");
    }
}

std::string hex(std::intptr_t value) {
    char text[32];
    std::snprintf(text, sizeof(text), "0x%llX", static_cast<unsigned long long>(value));
    return text;
}

}  // namespace

void runInfo(const std::vector<std::string>& arguments, std::ostream& out) {
    const ParsedArguments parsed = parse(arguments, "", "");
    if (parsed.positional.size() != 1) {
        throw UsageError("info takes exactly one PLUGIN path");
    }
    const PluginLibrary library(parsed.positional[0]);
    const PluginObject object(library);
    const PresetList presets = describePresets(object);

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
}

void runApply(const std::vector<std::string>& arguments, std::ostream& out) {
    const ParsedArguments parsed = parse(arguments, "--preset", "-p");
    if (parsed.positional.size() != 3) {
        throw UsageError("apply takes PLUGIN, IN and OUT");
    }
    if (!parsed.hasOption) {
        throw UsageError("apply needs --preset PRESET");
    }
    const std::string& input = parsed.positional[1];
    const std::string& output = parsed.positional[2];
    requireWritableExtension(output);

    const PluginLibrary library(parsed.positional[0]);
    const PluginObject object(library);
    const PresetList presets = describePresets(object);
    const int preset = presets.resolve(parsed.option);

    BgraImage image = readImageFile(input);
    toneInPlace(object, image.pixels.data(), image.width, image.height, preset);
    writeImageFile(image, output);
    out << "wrote " << output << " (" << image.width << " x " << image.height << ", "
        << presets.labels.at(static_cast<std::size_t>(preset)) << ")\n";
}

void runSheet(const std::vector<std::string>& arguments, std::ostream& out) {
    const ParsedArguments parsed = parse(arguments, "", "");
    if (parsed.positional.size() != 2 && parsed.positional.size() != 3) {
        throw UsageError("sheet takes PLUGIN, an optional IN, and OUT");
    }
    const std::string& output = parsed.positional.back();
    requireWritableExtension(output);

    const PluginLibrary library(parsed.positional[0]);
    const PluginObject object(library);
    const PresetList presets = describePresets(object);
    const BgraImage original = parsed.positional.size() == 3 ? readImageFile(parsed.positional[1]) : drawTestChart();
    const BgraImage sheet = makeContactSheet(original, object, presets);
    writeImageFile(sheet, output);
    out << "wrote " << output << " (" << sheet.width << " x " << sheet.height << ", original and "
        << presets.labels.size() << " presets)\n";
}

}  // namespace host
