#include "host/cli/batch_plan.h"

#include <algorithm>
#include <filesystem>
#include <functional>

#include "host/files/input_file.h"
#include "host/host_error.h"
#include "host/utf8_path.h"

namespace host {

namespace fs = std::filesystem;

namespace {

constexpr const char* kFields[] = {"stem", "ext", "dir", "preset", "n"};

// The field at `text`[at] ("{stem}", "{n:4}"): its name, its width, its end.
struct Field {
    std::string name;
    int width = 0;
    std::size_t end = 0;
};

Field fieldAt(const std::string& text, std::size_t at) {
    const std::size_t close = text.find('}', at);
    if (close == std::string::npos) {
        throw UsageError("--name: '{' at " + std::to_string(at + 1) + " is not closed");
    }
    Field field;
    field.name = text.substr(at + 1, close - at - 1);
    field.end = close + 1;
    if (const std::size_t colon = field.name.find(':'); colon != std::string::npos) {
        const std::string width = field.name.substr(colon + 1);
        field.name.resize(colon);
        if (field.name != "n" || width.empty() || width.size() > 2 ||
            !std::all_of(width.begin(), width.end(), [](char c) { return c >= '0' && c <= '9'; })) {
            throw UsageError("--name: only {n} takes a width, as {n:4}");
        }
        field.width = std::stoi(width);
    }
    if (std::find(std::begin(kFields), std::end(kFields), field.name) == std::end(kFields)) {
        throw UsageError("--name: unknown field {" + field.name + "} (use {stem}, {ext}, {dir}, {preset}, {n})");
    }
    return field;
}

// The format a file's content is, from its first bytes; none for anything
// else, or a file that cannot be read.
std::optional<ImageFormat> contentFormat(const std::string& path) {
    try {
        InputFile file(path);
        std::vector<std::uint8_t> start(1024);
        start.resize(file.read(start.data(), start.size()));
        return formatFromContent(start);
    } catch (const HostError&) {
        return std::nullopt;
    }
}

std::optional<fs::file_time_type> modified(const std::string& path) {
    std::error_code error;
    const fs::file_time_type time = fs::last_write_time(pathFromUtf8(path), error);
    return error ? std::nullopt : std::optional(time);
}

}  // namespace

NameTemplate::NameTemplate(std::string text) : text_(std::move(text)) {
    for (std::size_t at = text_.find('{'); at != std::string::npos; at = text_.find('{', at + 1)) {
        at = fieldAt(text_, at).end - 1;
    }
    const fs::path literal = pathFromUtf8(text_);
    bool climbs = literal.is_absolute() || literal.has_root_name() || literal.has_root_directory();
    for (const fs::path& part : literal) {
        climbs = climbs || part == "..";
    }
    if (climbs || text_.empty()) {
        throw UsageError("--name must name a file inside the output folder, not '" + text_ + "'");
    }
}

std::string NameTemplate::expand(const Fields& fields) const {
    std::string name;
    for (std::size_t at = 0; at < text_.size();) {
        if (text_[at] != '{') {
            name += text_[at++];
            continue;
        }
        const Field field = fieldAt(text_, at);
        if (field.name == "stem") {
            name += fields.stem;
        } else if (field.name == "ext") {
            name += fields.ext;
        } else if (field.name == "dir") {
            name += fields.dir;
        } else if (field.name == "preset") {
            name += fields.preset;
        } else {
            const std::string number = std::to_string(fields.n);
            name +=
                std::string(std::max<std::size_t>(static_cast<std::size_t>(field.width), number.size()) - number.size(),
                            '0') +
                number;
        }
        at = field.end;
    }
    // Folders left empty ("{dir}/" at the top of a walk) drop out.
    std::string cleaned;
    for (const fs::path& part : pathFromUtf8(name)) {
        const std::string piece = utf8FromPath(part);
        if (!piece.empty() && piece != "." && piece != "/" && piece != "\\") {
            cleaned += (cleaned.empty() ? "" : "/") + piece;
        }
    }
    return cleaned;
}

BatchPlan::BatchPlan(std::vector<std::string> arguments, BatchSettings settings)
    : settings_(std::move(settings)), walk_(arguments, settings_.walk) {
    foldsCase_ = folderFoldsCase(settings_.outputFolder);
    for (const std::string& argument : arguments) {
        std::error_code error;
        if (settings_.walk.recursive && fs::is_directory(pathFromUtf8(argument), error)) {
            walkedRoots_.push_back({argument, identityOf(argument)});
        } else {
            named_.push_back(argument);
            namedSet_.insert(argument);
            namedIdentities_.push_back(identityOf(argument));
        }
    }
}

std::optional<BatchFile> BatchPlan::next() {
    for (std::optional<WalkedFile> walked = walk_.next(); walked; walked = walk_.next()) {
        const bool walkedIntoFolder = namedSet_.count(walked->path) == 0;
        // A walk takes the pictures it finds and passes over the rest; a
        // file named on the command line is toned, or refused by name.
        std::optional<ImageFormat> content;
        if (walkedIntoFolder && !(content = contentFormat(walked->path))) {
            ++notPictures_;
            notPictureBytes_ += walked->bytes;
            continue;
        }
        return plan(*walked, content);
    }
    return std::nullopt;
}

BatchFile BatchPlan::plan(const WalkedFile& walked, std::optional<ImageFormat> content) {
    BatchFile file;
    file.input = walked.path;
    file.bytes = walked.bytes;
    const fs::path in = pathFromUtf8(file.input);
    if (std::error_code error; fs::is_directory(in, error)) {
        file.problem = "'" + file.input + "' is a folder (--recursive tones the pictures in it)";
        return file;
    }
    std::string extension = settings_.format ? *settings_.format : utf8FromPath(in.extension());
    if (!extension.empty() && extension[0] == '.') {
        extension.erase(0, 1);
    }
    std::optional<ImageFormat> own = formatFromExtension("x." + extension);
    if (!settings_.format && !own && content) {
        // A walked picture whose name does not say its format: its content does.
        own = content;
        extension = formatOf(*own).extensions.front() + 1;
    }
    if (!settings_.format && own && !canWrite(*own)) {
        extension = formatOf(formatOf(*own).writtenAs).extensions.front() + 1;
        file.readOnly = own;
    }
    const std::string relative = settings_.name.expand(
        {utf8FromPath(in.stem()), extension, walked.relativeFolder, settings_.presetLabel, ++counter_});
    file.output = utf8FromPath(pathFromUtf8(settings_.outputFolder) / pathFromUtf8(relative));
    const std::optional<ImageFormat> written = formatFromExtension(file.output);
    if (!written || !canWrite(*written)) {
        file.problem = "'" + file.input + "': cannot tell which format to write (" +
                       (extension.empty() ? "it has no extension" : "'." + extension + "' is not one") +
                       "; use --format)";
        return file;
    }
    // An output that exists already must not be an input.
    if (const std::optional<FileIdentity> output = identityOf(file.output)) {
        if (identityOf(file.input) == output) {
            file.problem = "'" + file.input + "': its output '" + file.output + "' would replace it";
            return file;
        }
        for (std::size_t j = 0; j < named_.size(); ++j) {
            if (namedIdentities_[j] == output) {
                file.problem = "'" + file.input + "': its output '" + file.output + "' would replace the input '" +
                               named_[j] + "'";
                return file;
            }
        }
    }
    if (const std::string root = walkedRootHolding(file.output); !root.empty()) {
        file.problem = "'" + file.input + "': its output '" + file.output + "' would be written into the folder '" +
                       root + "', which is being toned";
        return file;
    }
    file.problem = claim(file, relative);
    if (file.problem.empty() && settings_.skipExisting) {
        const std::optional<fs::file_time_type> output = modified(file.output);
        const std::optional<fs::file_time_type> input = modified(file.input);
        file.upToDate = output && input && *output >= *input;
    }
    return file;
}

// The walked folder that `output` would lie in, if any: it might replace an
// input still to come, or become one. Only the folders between the output
// and the output folder are looked at (those that exist), as the output
// folder is never walked.
std::string BatchPlan::walkedRootHolding(const std::string& output) const {
    if (walkedRoots_.empty()) {
        return {};
    }
    const std::optional<FileIdentity> top = identityOf(settings_.outputFolder);
    for (fs::path folder = pathFromUtf8(output).parent_path(); !folder.empty(); folder = folder.parent_path()) {
        const std::optional<FileIdentity> identity = identityOf(utf8FromPath(folder));
        if (identity && identity == top) {
            break;
        }
        for (const auto& [root, rootIdentity] : walkedRoots_) {
            if (identity && rootIdentity == identity) {
                return root;
            }
        }
        if (folder == folder.parent_path()) {
            break;
        }
    }
    return {};
}

// Every output lies under the one folder: names relative to it tell them
// apart, compared as the folder compares them. "" if the name is free.
std::string BatchPlan::claim(const BatchFile& file, const std::string& relative) {
    const std::string key = foldsCase_ ? caseFolded(relative) : relative;
    if (const auto existing = claimedNames_.find(key); existing != claimedNames_.end()) {
        return "'" + file.input + "': its output '" + file.output + "' is already written for '" + existing->second +
               "'";
    }
    if (!claimedHashes_.insert(std::hash<std::string>{}(key)).second) {
        return "'" + file.input + "': its output '" + file.output + "' is already the output of another input";
    }
    if (namedSet_.count(file.input) != 0) {
        claimedNames_.emplace(key, file.input);
    }
    return {};
}

WalkTotals countWalk(const std::vector<std::string>& arguments, const WalkRules& rules) {
    WalkTotals totals;
    InputWalk walk(arguments, rules);
    for (std::optional<WalkedFile> file = walk.next(); file; file = walk.next()) {
        ++totals.files;
        totals.bytes += file->bytes;
    }
    return totals;
}

}  // namespace host
