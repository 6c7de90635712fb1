#include "host/cli/tone_file.h"

#include "host/plugin/preset_list.h"

namespace host {

TonedFile toneFile(const PluginObject& object, int preset, const std::string& label, const std::string& input,
                   const std::string& output, const WriteOptions& options) {
    Picture picture = readImageFile(input);
    toneInPlace(object, picture.image.pixels.data(), picture.image.width, picture.image.height, preset);
    TonedFile toned;
    toned.warnings = options.strip ? std::vector<std::string>() : std::move(picture.warnings);
    for (std::string& warning : writeImageFile(picture, output, options)) {
        toned.warnings.push_back(std::move(warning));
    }
    toned.line = "wrote " + output + " (" + std::to_string(picture.image.width) + " x " +
                 std::to_string(picture.image.height) + ", " + label + ")";
    return toned;
}

}  // namespace host
