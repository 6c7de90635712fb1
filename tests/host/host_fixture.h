#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "host/cli/command_line.h"
#include "host/plugin/module_path.h"
#include "host/utf8_path.h"
#include "tests/host/file_bytes.h"

// The reference host run in process, on files in a scratch folder of its own,
// against the plug-in built beside the test program.
namespace host_fixture {

namespace fs = std::filesystem;

struct HostRun {
    int exitCode;
    std::string out;
    std::string err;
};

inline HostRun sepiaHost(const std::vector<std::string>& arguments) {
    std::ostringstream out;
    std::ostringstream err;
    const int code = host::runCommandLine(arguments, out, err);
    return {code, out.str(), err.str()};
}

using file_bytes::readBytes;
using file_bytes::writeBytes;

// The same for a path in UTF-8, as the host takes paths.
inline std::vector<std::uint8_t> readBytes(const std::string& path) { return readBytes(host::pathFromUtf8(path)); }

class HostTest : public ::testing::Test {
protected:
    void SetUp() override {
        folder_ = fs::temp_directory_path() /
                  ("sepia-host-test-" + std::to_string(std::chrono::steady_clock::now().time_since_epoch().count()));
        fs::create_directories(folder_);
        plugin_ = host::pluginBesideExecutable();
    }
    void TearDown() override { fs::remove_all(folder_); }

    // Names are UTF-8, as the host takes them.
    std::string path(const std::string& name) const { return host::utf8FromPath(folder_ / host::pathFromUtf8(name)); }

    std::string write(const std::string& name, const std::vector<std::uint8_t>& bytes) const {
        writeBytes(folder_ / host::pathFromUtf8(name), bytes);
        return path(name);
    }

    // The files in a folder (the scratch folder by default), to show nothing
    // stray was left behind.
    std::vector<std::string> listing(const std::string& folder = {}) const {
        std::vector<std::string> names;
        for (const auto& entry : fs::directory_iterator(folder.empty() ? folder_ : host::pathFromUtf8(folder))) {
            names.push_back(host::utf8FromPath(entry.path().filename()));
        }
        std::sort(names.begin(), names.end());
        return names;
    }

    fs::path folder_;
    std::string plugin_;
};

}  // namespace host_fixture
