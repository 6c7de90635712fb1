#include "host/cli/tone_file.h"

#include "host/files/file_identity.h"
#include "host/host_error.h"
#include "host/plugin/preset_list.h"

namespace host {

TonedFile toneFile(const PluginObject& object, int preset, const std::string& label, const std::string& input,
                   const std::string& output, const WriteOptions& options) {
    if (const std::optional<FileIdentity> out = identityOf(output); out && out == identityOf(input)) {
        throw HostError("'" + input + "': its output '" + output + "' would replace it");
    }
    Picture picture;
    try {
        picture = readImageFile(input);
    } catch (const HostError& error) {
        throw HostError(std::string(error.what()) + "; '" + output + "' is not written");
    } catch (const std::bad_alloc&) {
        throw HostError("'" + input + "': out of memory; '" + output + "' is not written");
    }
    toneInPlace(object, picture.image.pixels.data(), picture.image.width, picture.image.height, preset);
    TonedFile toned;
    toned.warnings = options.strip ? std::vector<std::string>() : std::move(picture.warnings);
    try {
        for (std::string& warning : writeImageFile(picture, output, options)) {
            toned.warnings.push_back(std::move(warning));
        }
    } catch (const HostError& error) {
        throw HostError("'" + input + "': " + error.what());
    } catch (const std::bad_alloc&) {
        throw HostError("'" + input + "': cannot write '" + output + "': out of memory");
    }
    if (picture.pages > 1) {
        toned.warnings.push_back("'" + input + "' holds " + std::to_string(picture.pages) + " " + picture.pageKind +
                                 "s; only the first is toned into '" + output + "', the other " +
                                 std::to_string(picture.pages - 1) + " are left out");
    }
    toned.line = "wrote " + output + " (" + std::to_string(picture.image.width) + " x " +
                 std::to_string(picture.image.height) + ", " + label + ")";
    return toned;
}

}  // namespace host
