#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <utility>
#include <vector>

#include "host/cli/input_walk.h"
#include "host/files/file_identity.h"
#include "host/image/formats.h"

namespace host {

// One input of a run over many files, and where its result goes.
struct BatchFile {
    std::string input;
    std::string output;
    std::uint64_t bytes = 0;  // the input's size
    // Why the file cannot be done, found before it is toned; empty if
    // nothing is known against it.
    std::string problem;
    // Its output exists and is not older than it: left alone
    // (--skip-existing).
    bool upToDate = false;
    // The format of an input the host reads but does not write (HEIF),
    // written as that format's `writtenAs` for want of --format.
    std::optional<ImageFormat> readOnly;
};

// How outputs are named: a template of fields in braces, the rest as it
// stands, "/" between folders:
//   {stem}    the input's name without its extension
//   {ext}     the output's extension: --format's, else the input's own
//             (for a format read but not written, the one it is written as;
//             for a walked picture whose name gives none, its content's)
//   {dir}     the input's folder relative to the folder walked ("" for a
//             file named on the command line, and at the top of the walk)
//   {preset}  the preset's label
//   {n}       a counter, 1 for the first input of the run, in the order
//             the inputs are named and the folders list their files;
//             {n:4} pads it to four digits
// The default is "{dir}/{stem}.{ext}": files named on the command line go
// into the output folder itself, a walked folder's keep their tree.
class NameTemplate {
public:
    // UsageError for an unknown field, a brace left open, or a template
    // that could climb out of the output folder ("..", an absolute path).
    explicit NameTemplate(std::string text = "{dir}/{stem}.{ext}");

    struct Fields {
        std::string stem;
        std::string ext;
        std::string dir;
        std::string preset;
        std::uint64_t n = 0;
    };
    // The name relative to the output folder; folders left empty drop out.
    std::string expand(const Fields& fields) const;

private:
    std::string text_;
};

struct BatchSettings {
    std::string outputFolder;           // must exist
    std::optional<std::string> format;  // the extension to write, without the dot
    NameTemplate name;
    std::string presetLabel;
    bool skipExisting = false;
    WalkRules walk;
};

// The outputs of a run's inputs, one at a time as the walk offers them.
// Outputs are checked the way the file system tells files apart (see
// file_identity.h), before anything is written: an input whose output would
// be the input itself, or another input named on the command line, or a
// file of a folder being walked, or the output of an earlier input (also when the two names differ only in case,
// where the folder folds case), gets a problem naming both files instead.
// Files of a walked folder whose content is no picture the host reads are
// passed over, and counted. One thread at a time.
class BatchPlan {
public:
    BatchPlan(std::vector<std::string> arguments, BatchSettings settings);

    std::optional<BatchFile> next();

    // The files of walked folders passed over as no pictures, and their bytes.
    std::size_t notPictures() const { return notPictures_; }
    std::uint64_t notPictureBytes() const { return notPictureBytes_; }
    std::vector<std::string> takeNotes() { return walk_.takeNotes(); }

private:
    BatchFile plan(const WalkedFile& walked, std::optional<ImageFormat> content);
    std::string claim(const BatchFile& file, const std::string& relative);
    std::string walkedRootHolding(const std::string& output) const;

    BatchSettings settings_;
    InputWalk walk_;
    bool foldsCase_ = false;
    std::vector<std::optional<FileIdentity>> namedIdentities_;  // inputs named on the command line
    std::vector<std::string> named_;
    std::vector<std::pair<std::string, std::optional<FileIdentity>>> walkedRoots_;  // folders walked
    // Outputs given out: by name for inputs named on the command line,
    // whose list is in memory anyway; by a hash of the name for a walk's.
    std::unordered_set<std::string> namedSet_;
    std::unordered_map<std::string, std::string> claimedNames_;
    std::unordered_set<std::uint64_t> claimedHashes_;
    std::uint64_t counter_ = 0;
    std::size_t notPictures_ = 0;
    std::uint64_t notPictureBytes_ = 0;
};

// What a walk of `arguments` will offer, for the progress shown: files and
// bytes (before their content is looked at).
struct WalkTotals {
    std::size_t files = 0;
    std::uint64_t bytes = 0;
};
WalkTotals countWalk(const std::vector<std::string>& arguments, const WalkRules& rules);

}  // namespace host
