#include "host/image/atomic_file.h"

#include <atomic>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <system_error>

#include "host/host_error.h"
#include "host/utf8_path.h"

namespace host {

namespace fs = std::filesystem;

namespace {

// A name in the target's folder that no other writer is using.
fs::path temporaryBeside(const fs::path& target) {
    static std::atomic<unsigned> counter{0};
    const auto stamp = std::chrono::steady_clock::now().time_since_epoch().count();
    fs::path name = ".";
    name += target.filename();
    name += ".tmp-" + std::to_string(stamp) + "-" + std::to_string(counter.fetch_add(1));
    return target.parent_path() / name;
}

}  // namespace

void writeFileAtomically(const std::string& path, const std::vector<std::uint8_t>& bytes) {
    const fs::path target = fs::absolute(pathFromUtf8(path));
    std::error_code error;
    if (!fs::is_directory(target.parent_path(), error)) {
        throw HostError("cannot write '" + path + "': folder '" + utf8FromPath(target.parent_path()) +
                        "' does not exist");
    }
    if (fs::is_directory(target, error)) {
        throw HostError("cannot write '" + path + "': it is a folder");
    }
    const fs::path temporary = temporaryBeside(target);
    {
        std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
        if (!out) {
            throw HostError("cannot write '" + path + "': cannot create a file in '" +
                            utf8FromPath(target.parent_path()) + "'");
        }
        out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
        out.close();
        if (!out) {
            fs::remove(temporary, error);
            throw HostError("cannot write '" + path + "': writing failed (disk full?)");
        }
    }
    fs::rename(temporary, target, error);
    if (error) {
        std::error_code ignored;
        fs::remove(temporary, ignored);
        throw HostError("cannot write '" + path + "': " + error.message());
    }
}

std::vector<std::uint8_t> readWholeFile(const std::string& path, std::uint64_t maxBytes) {
    std::error_code error;
    const fs::path file = pathFromUtf8(path);
    if (!fs::exists(file, error)) {
        throw HostError("cannot read '" + path + "': no such file");
    }
    if (fs::is_directory(file, error)) {
        throw HostError("cannot read '" + path + "': it is a folder");
    }
    std::ifstream in(file, std::ios::binary);
    if (!in) {
        throw HostError("cannot read '" + path + "': permission denied or unreadable");
    }
    in.seekg(0, std::ios::end);
    const std::streamoff size = in.tellg();
    if (size < 0) {
        throw HostError("cannot read '" + path + "': unreadable");
    }
    if (static_cast<std::uint64_t>(size) > maxBytes) {
        throw HostError("cannot read '" + path + "': file is larger than " + std::to_string(maxBytes >> 20) + " MiB");
    }
    in.seekg(0, std::ios::beg);
    std::vector<std::uint8_t> bytes(static_cast<std::size_t>(size));
    in.read(reinterpret_cast<char*>(bytes.data()), size);
    if (!in) {
        throw HostError("cannot read '" + path + "': reading failed");
    }
    return bytes;
}

}  // namespace host
