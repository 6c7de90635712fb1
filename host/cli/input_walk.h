#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "host/files/file_identity.h"

namespace host {

// One input a walk offers: its path (UTF-8), its folder relative to the
// folder walked ("" for a file named on the command line, and for one at
// the top of a walked folder), and its size.
struct WalkedFile {
    std::string path;
    std::string relativeFolder;
    std::uint64_t bytes = 0;
};

// How a walk goes.
struct WalkRules {
    bool recursive = false;  // folders among the arguments are walked (else refused)
    bool hidden = false;     // files and folders whose names start with a dot (or hidden on Windows) too
    // A folder never walked into: the output folder, so that a run does not
    // tone its own outputs.
    std::optional<FileIdentity> excluded;
};

// The files named on the command line, and those of the folders named
// there when walking (depth first, in the order the folders list them),
// one at a time: memory holds the folders on the way down, not the files,
// so a walk of 100,000 files costs what one of ten does. Links are
// followed; a folder met again below itself (a link loop) is not walked
// again and is reported. One thread at a time.
class InputWalk {
public:
    InputWalk(std::vector<std::string> arguments, WalkRules rules);

    // The next file; none once every argument has been walked. Arguments
    // that cannot be walked (a folder without `recursive`, a missing file)
    // come as files too, for toning to refuse by name.
    std::optional<WalkedFile> next();

    // What the walk met that it did not walk: loops, unreadable folders.
    std::vector<std::string> takeNotes();

private:
    struct Level {
        std::string relative;
        std::filesystem::directory_iterator entries;
    };
    bool enter(const std::filesystem::path& folder, const std::string& relative);
    bool isHidden(const std::filesystem::path& path) const;

    std::vector<std::string> arguments_;
    std::size_t argument_ = 0;
    WalkRules rules_;
    std::vector<Level> stack_;
    std::vector<FileIdentity> ancestors_;  // the folders on the way down, for loops
    std::vector<std::string> notes_;
};

}  // namespace host
