#pragma once

#include <string>
#include <vector>

namespace host {

// Where an encoder reports: the name of the file it makes, and the warnings.
struct EncodeReport {
    std::string name;
    std::vector<std::string>& warnings;

    // `block` ("EXIF", "XMP", ...) is left out of the file, because of `why`.
    void leftOut(const std::string& block, const std::string& why) {
        warnings.push_back("cannot write the " + block + " of '" + name + "' (" + why + "); it is written without it");
    }
};

}  // namespace host
