// Runs over many files: folders walked with their tree kept, outputs left
// alone when up to date, names made from templates, dates kept, and the
// progress line kept to standard error.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "tests/host/host_fixture.h"
#include "tests/host/test_pictures.h"

namespace {

using host_fixture::HostRun;
using host_fixture::readBytes;
using host_fixture::sepiaHost;
using namespace test_pictures;
namespace fs = std::filesystem;

class Batch : public host_fixture::HostTest {
protected:
    // A tree of pictures with what a walk must pass over: a hidden folder
    // and file, a text file, and (on POSIX systems) a link back up.
    void SetUp() override {
        HostTest::SetUp();
        int variant = 0;
        for (const char* name : {"in/top.png", "in/a/x.png", "in/a/b/y.png", "in/c/x.png", "in/c/no-extension",
                                 "in/.hidden/h.png", "in/a/.h.png"}) {
            fs::create_directories((folder_ / name).parent_path());
            write(name, makePng(patterned(9 + variant, 7, variant % 2 == 1)));
            ++variant;
        }
        write("in/a/notes.txt", {'h', 'i'});
#if !defined(_WIN32)
        fs::create_directory_symlink("../..", folder_ / "in/a/b/up");
#endif
    }

    // Every file under `folder`, relative to it, with "/" between folders.
    std::vector<std::string> tree(const std::string& folder) const {
        std::vector<std::string> names;
        for (const auto& entry : fs::recursive_directory_iterator(folder_ / folder)) {
            if (entry.is_regular_file()) {
                std::string name = host::utf8FromPath(entry.path().lexically_relative(folder_ / folder));
                std::replace(name.begin(), name.end(), '\\', '/');
                names.push_back(name);
            }
        }
        std::sort(names.begin(), names.end());
        return names;
    }

    HostRun apply(std::vector<std::string> arguments) const {
        arguments.insert(arguments.begin(), {"apply", plugin_, "-p", "2"});
        return sepiaHost(arguments);
    }
};

// The tree is kept; hidden files, files that are no pictures and the link
// loop are passed over (the loop with a warning); a picture whose name
// gives no format is written as its content's; each output is what toning
// that file alone writes; the output folder inside the tree is not walked.
TEST_F(Batch, AFolderIsWalkedAndItsTreeKept) {
    const HostRun hidden = apply({"-r", "--hidden", "--quiet", "-o", path("all"), path("in")});
    EXPECT_EQ(hidden.exitCode, 0) << hidden.err;
    EXPECT_EQ(tree("all").size(), 7u);
    EXPECT_EQ(hidden.err.find("toned"), std::string::npos) << "--quiet leaves out the summary";

    const HostRun run = apply({"-r", "-o", path("in/toned"), path("in")});
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(tree("in/toned"),
              (std::vector<std::string>{"a/b/y.png", "a/x.png", "c/no-extension.png", "c/x.png", "top.png"}));
    EXPECT_NE(run.err.find("toned 5, skipped 0, failed 0, in "), std::string::npos) << run.err;
    EXPECT_NE(run.err.find("1 file that is no picture passed over"), std::string::npos) << run.err;
#if !defined(_WIN32)
    EXPECT_NE(run.err.find("is a link to a folder above it"), std::string::npos) << run.err;
#endif
    for (const char* name : {"a/b/y.png", "c/x.png"}) {
        ASSERT_EQ(apply({path(std::string("in/") + name), path("alone.png")}).exitCode, 0);
        EXPECT_EQ(readBytes(path(std::string("in/toned/") + name)), readBytes(path("alone.png"))) << name;
    }

    const HostRun withoutR = apply({"-o", path("flat"), path("in")});
    EXPECT_EQ(withoutR.exitCode, 1);
    EXPECT_NE(withoutR.err.find(path("in") + "' is a folder (--recursive"), std::string::npos) << withoutR.err;
}

// Outputs that exist and are not older than their inputs are left alone;
// a missing one and one older than its input are toned again.
TEST_F(Batch, SkipExistingTonesOnlyWhatIsMissingOrOlder) {
    const std::vector<std::string> command = {"-r", "--skip-existing", "-o", path("out"), path("in")};
    ASSERT_EQ(apply(command).exitCode, 0);
    fs::remove(folder_ / "out/a/x.png");
    const auto later = fs::last_write_time(folder_ / "out/top.png") + std::chrono::hours(1);
    fs::last_write_time(folder_ / "in/c/x.png", later);
    const auto untouched = fs::last_write_time(folder_ / "out/a/b/y.png");

    const HostRun again = apply(command);
    EXPECT_EQ(again.exitCode, 0) << again.err;
    EXPECT_NE(again.err.find("toned 2, skipped 3, failed 0"), std::string::npos) << again.err;
    EXPECT_EQ(fs::last_write_time(folder_ / "out/a/b/y.png"), untouched);
    EXPECT_EQ(tree("out").size(), 5u);
}

// Each template against the names it makes, or the usage error it is; a
// template that makes one name twice writes the first and refuses the
// second by name.
TEST_F(Batch, NameTemplates) {
    struct Case {
        const char* name;
        std::vector<std::string> made;  // empty: refused as a usage error
    };
    const Case cases[] = {
        {"{dir}/{stem}.{ext}", {"a/b/y.png", "a/x.png", "c/no-extension.png", "c/x.png", "top.png"}},
        {"{preset}/{dir}/{stem}-toned.{ext}",
         {"Sepia 3/a/b/y-toned.png", "Sepia 3/a/x-toned.png", "Sepia 3/c/no-extension-toned.png",
          "Sepia 3/c/x-toned.png", "Sepia 3/top-toned.png"}},
        {"{n:3}.jpg", {"001.jpg", "002.jpg", "003.jpg", "004.jpg", "005.jpg"}},
        {"../{stem}.{ext}", {}},
        {"/abs/{stem}.{ext}", {}},
        {"{stem}.{size}", {}},
        {"{stem.{ext}", {}},
        {"{stem}.{ext:2}", {}},
    };
    int run = 0;
    for (const Case& c : cases) {
        const std::string out = "out" + std::to_string(run++);
        const HostRun result = apply({"-r", "--name", c.name, "-o", path(out), path("in")});
        if (c.made.empty()) {
            EXPECT_EQ(result.exitCode, 2) << c.name;
            EXPECT_FALSE(fs::exists(folder_ / out)) << c.name;
        } else {
            EXPECT_EQ(result.exitCode, 0) << c.name << ": " << result.err;
            EXPECT_EQ(tree(out), c.made) << c.name;
        }
    }
    const HostRun clash = apply({"-r", "--name", "{stem}.{ext}", "-o", path("flat"), path("in")});
    EXPECT_EQ(clash.exitCode, 1);
    EXPECT_NE(clash.err.find("is already the output of another input"), std::string::npos) << clash.err;
    EXPECT_EQ(tree("flat"), (std::vector<std::string>{"no-extension.png", "top.png", "x.png", "y.png"}));
}

// Outputs never land in a folder being walked, where they could replace an
// input still to come.
TEST_F(Batch, NoOutputIntoTheFolderBeingWalked) {
    const auto before = readBytes(path("in/a/x.png"));
    const HostRun run = apply({"-r", "--name", "in/a/{stem}.{ext}", "-o", path(""), path("in")});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_NE(run.err.find("which is being toned"), std::string::npos) << run.err;
    EXPECT_EQ(readBytes(path("in/a/x.png")), before);
    EXPECT_EQ(tree("in/a").size(), 4u);  // x.png, .h.png, notes.txt, b/y.png
}

// --keep-dates gives each output its input's modification time.
TEST_F(Batch, KeepDates) {
    const auto past = fs::last_write_time(folder_ / "in/top.png") - std::chrono::hours(24 * 365 * 20);
    fs::last_write_time(folder_ / "in/top.png", past);
    ASSERT_EQ(apply({"--keep-dates", "-o", path("out"), path("in/top.png")}).exitCode, 0);
    ASSERT_EQ(apply({"-o", path("now"), path("in/top.png")}).exitCode, 0);
    EXPECT_EQ(fs::last_write_time(folder_ / "out/top.png"), past);
    EXPECT_NE(fs::last_write_time(folder_ / "now/top.png"), past);
}

// On a terminal the progress line is drawn on standard error and cleared
// before each result line; standard output carries the result lines only.
// Not on a terminal, or with --quiet, nothing is drawn.
TEST_F(Batch, ProgressStaysOnStandardError) {
    for (const bool quiet : {false, true}) {
        std::ostringstream out, err;
        std::vector<std::string> arguments = {"apply",   plugin_, "-p", "2", "-r", "-o", path(quiet ? "q" : "p"),
                                              path("in")};
        if (quiet) {
            arguments.push_back("--quiet");
        }
        ASSERT_EQ(host::runCommandLine(arguments, out, err, true), 0) << err.str();
        EXPECT_EQ(out.str().find('\r'), std::string::npos);
        EXPECT_EQ(out.str().find('\x1B'), std::string::npos);
        EXPECT_EQ(err.str().find("\r\x1B[K") != std::string::npos, !quiet) << err.str();
        if (!quiet) {
            EXPECT_NE(err.str().find(" of 6 files"), std::string::npos) << err.str();
        }
    }
    const HostRun piped = apply({"-r", "-o", path("piped"), path("in")});
    EXPECT_EQ(piped.err.find('\r'), std::string::npos);
}

}  // namespace
