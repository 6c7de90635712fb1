#include "host/cli/input_walk.h"

#include <system_error>

#include "host/utf8_path.h"

#if defined(_WIN32)
#include <windows.h>
#endif

namespace host {

namespace fs = std::filesystem;

InputWalk::InputWalk(std::vector<std::string> arguments, WalkRules rules)
    : arguments_(std::move(arguments)), rules_(rules) {}

bool InputWalk::isHidden(const fs::path& path) const {
    if (rules_.hidden) {
        return false;
    }
    const std::string name = utf8FromPath(path.filename());
    if (!name.empty() && name[0] == '.') {
        return true;
    }
#if defined(_WIN32)
    const DWORD attributes = GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_HIDDEN) != 0;
#else
    return false;
#endif
}

// Starts walking `folder`, unless it is the excluded one or one on the way
// down to it (a loop).
bool InputWalk::enter(const fs::path& folder, const std::string& relative) {
    const std::optional<FileIdentity> identity = identityOf(utf8FromPath(folder));
    if (identity && identity == rules_.excluded) {
        return false;
    }
    if (identity) {
        for (const FileIdentity& ancestor : ancestors_) {
            if (ancestor == *identity) {
                std::string note = "'";
                note += utf8FromPath(folder);
                note += "' is a link to a folder above it; it is walked once";
                notes_.push_back(std::move(note));
                return false;
            }
        }
    }
    std::error_code error;
    fs::directory_iterator entries(folder, fs::directory_options::skip_permission_denied, error);
    if (error) {
        std::string note = "cannot read the folder '";
        note += utf8FromPath(folder);
        note += "' (";
        note += error.message();
        note += "); its files are left out";
        notes_.push_back(std::move(note));
        return false;
    }
    stack_.push_back({relative, std::move(entries)});
    ancestors_.push_back(identity.value_or(FileIdentity{}));
    return true;
}

std::optional<WalkedFile> InputWalk::next() {
    for (;;) {
        if (stack_.empty()) {
            if (argument_ >= arguments_.size()) {
                return std::nullopt;
            }
            const std::string& argument = arguments_[argument_++];
            const fs::path path = pathFromUtf8(argument);
            std::error_code error;
            if (rules_.recursive && fs::is_directory(path, error)) {
                enter(path, "");
                continue;
            }
            // A file as given: toning refuses it by name if it is none.
            const std::uintmax_t size = fs::file_size(path, error);
            return WalkedFile{argument, "", error ? 0 : static_cast<std::uint64_t>(size)};
        }
        Level& level = stack_.back();
        if (level.entries == fs::directory_iterator()) {
            stack_.pop_back();
            ancestors_.pop_back();
            continue;
        }
        const fs::directory_entry entry = *level.entries;
        std::error_code error;
        level.entries.increment(error);
        if (error) {
            notes_.push_back("cannot read on in a folder (" + error.message() + "); the rest of it is left out");
            level.entries = fs::directory_iterator();
        }
        const fs::path& path = entry.path();
        if (isHidden(path)) {
            continue;
        }
        std::error_code statError;
        const std::string name = utf8FromPath(path.filename());
        if (entry.is_directory(statError)) {
            const std::string relative = level.relative.empty() ? name : level.relative + "/" + name;
            enter(path, relative);
            continue;
        }
        if (!entry.is_regular_file(statError)) {
            continue;  // devices, pipes, broken links
        }
        const std::uintmax_t size = entry.file_size(statError);
        return WalkedFile{utf8FromPath(path), level.relative, statError ? 0 : static_cast<std::uint64_t>(size)};
    }
}

std::vector<std::string> InputWalk::takeNotes() { return std::exchange(notes_, {}); }

}  // namespace host
