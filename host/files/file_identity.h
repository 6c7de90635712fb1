#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace host {

// Which file a path names, as the file system decides it: device and inode
// on POSIX systems, volume serial number and file ID on Windows. Two paths
// that differ in spelling (case, "..", links) name the same file exactly
// when their identities are equal.
struct FileIdentity {
    std::uint64_t device = 0;
    std::uint64_t file = 0;

    bool operator==(const FileIdentity&) const = default;
};

// The identity of the file `path` (UTF-8) names, following links; none when
// it names nothing that exists.
std::optional<FileIdentity> identityOf(const std::string& path);

// Whether names in the existing folder `folder` are matched without regard
// to case, found by asking the file system itself: a probe file is created
// under a lower-case name and looked up under the upper-case one. Windows
// and Wine fold case; most Linux file systems do not, but FAT, exFAT, SMB
// shares and case-folding ext4 folders do. True when the probe cannot be
// made (the cautious answer).
bool folderFoldsCase(const std::string& folder);

// `name` (UTF-8) as a name that folds case compares: letters in every
// script mapped to one case.
std::string caseFolded(const std::string& name);

}  // namespace host
