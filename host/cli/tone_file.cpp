#include "host/cli/tone_file.h"

#include "host/plugin/preset_list.h"

namespace host {

std::string toneFile(const PluginObject& object, int preset, const std::string& label, const std::string& input,
                     const std::string& output, const WriteOptions& options) {
    Picture picture = readImageFile(input);
    toneInPlace(object, picture.image.pixels.data(), picture.image.width, picture.image.height, preset);
    writeImageFile(picture, output, options);
    return "wrote " + output + " (" + std::to_string(picture.image.width) + " x " +
           std::to_string(picture.image.height) + ", " + label + ")";
}

}  // namespace host
