// What a run must never do to a user's files: replace an input, let two
// inputs share an output, leave half a file or a temporary file behind, or
// lose a file's permissions; and what it does when threads cannot start.
#include <gtest/gtest.h>

#include <filesystem>
#include <set>
#include <stdexcept>
#include <system_error>

#include "host/cli/batch.h"
#include "host/files/file_identity.h"
#include "host/files/output_file.h"
#include "host/host_error.h"
#include "host/plugin/preset_list.h"
#include "tests/host/host_fixture.h"
#include "tests/host/test_pictures.h"

#if !defined(_WIN32)
#include <sys/resource.h>
#include <sys/stat.h>

#include <csignal>
#endif

namespace {

using host_fixture::HostRun;
using host_fixture::readBytes;
using host_fixture::sepiaHost;
using namespace test_pictures;
namespace fs = std::filesystem;

using FileSafety = host_fixture::HostTest;

// Every way an output of a batch could land on an input or on another
// output: each run exits 1, names both files, and leaves every input as it
// was; no file reported as written is missing from the output folder.
TEST_F(FileSafety, NoOutputReplacesAnInputOrAnotherOutput) {
    fs::create_directories(folder_ / "photos");
    fs::create_directories(folder_ / "d1");
    fs::create_directories(folder_ / "d2");
    fs::create_directories(folder_ / "out");
    const std::vector<std::uint8_t> jpeg = makeJpeg(smooth(16, 12, false));
    const std::vector<std::uint8_t> png = makePng(patterned(16, 12, false));
    const std::string photosA = write("photos/a.jpg", jpeg);
    const std::string photosPng = write("photos/a.png", png);
    const std::string outA = write("out/a.jpg", jpeg);
    const std::string d1 = write("d1/IMG.jpg", jpeg);
    const std::string d2 = write("d2/img.JPG", jpeg);
    // The photos folder under another spelling: a link on POSIX systems;
    // on Windows, the same name in capitals.
#if defined(_WIN32)
    const std::string photosAgain = path("PHOTOS");
#else
    fs::create_directory_symlink(folder_ / "photos", folder_ / "photos-link");
    const std::string photosAgain = path("photos-link");
#endif
    struct Case {
        const char* what;
        std::vector<std::string> arguments;
        std::string message;
    };
    const Case cases[] = {
        {"an output that is another input",
         {"-o", path("photos"), "--format", "png", photosA, photosPng},
         "would replace the input '" + photosPng + "'"},
        {"an output folder that holds an input", {"-o", path("out"), photosA, outA}, "would replace the input"},
        {"the input folder by another name", {"-o", photosAgain, photosA}, "would replace it"},
        {"the same input twice", {"-o", path("out"), "--format", "png", photosA, photosA}, "already written for"},
    };
    for (const Case& c : cases) {
        std::vector<std::string> arguments = {"apply", plugin_, "-p", "1"};
        arguments.insert(arguments.end(), c.arguments.begin(), c.arguments.end());
        const HostRun run = sepiaHost(arguments);
        EXPECT_EQ(run.exitCode, 1) << c.what << ": " << run.err;
        EXPECT_NE(run.err.find(c.message), std::string::npos) << c.what << ": " << run.err;
        EXPECT_EQ(readBytes(photosA), jpeg) << c.what;
        EXPECT_EQ(readBytes(photosPng), png) << c.what;
        EXPECT_EQ(readBytes(outA), jpeg) << c.what;
    }

    // Two names that differ only in case: where the folder folds case, the
    // second is refused, naming the first; elsewhere both are written.
    const HostRun run = sepiaHost({"apply", plugin_, "-p", "1", "-o", path("together"), d1, d2});
    const std::vector<std::string> written = listing(path("together"));
    std::size_t reported = 0;
    for (std::size_t at = run.out.find("wrote "); at != std::string::npos; at = run.out.find("wrote ", at + 1)) {
        ++reported;
    }
    EXPECT_EQ(written.size(), reported) << "a file reported as written is missing:\n" << run.out;
    if (written.size() == 1) {
        EXPECT_EQ(run.exitCode, 1);
        EXPECT_NE(run.err.find("is already written for '" + d1 + "'"), std::string::npos) << run.err;
    } else {
        EXPECT_EQ(run.exitCode, 0) << run.err;
    }

    // One file: OUT may not be IN under another name either.
    EXPECT_EQ(sepiaHost({"apply", plugin_, "-p", "1", photosA, photosAgain + "/a.jpg"}).exitCode, 1);
    EXPECT_EQ(sepiaHost({"sheet", plugin_, photosPng, path("photos/./a.png")}).exitCode, 1);
    EXPECT_EQ(readBytes(photosA), jpeg);
    EXPECT_EQ(readBytes(photosPng), png);
}

TEST(FileIdentity, NamesThatFoldTogether) {
    for (const auto& [a, b] : {std::pair<std::string, std::string>{"IMG_0001.JPG", "img_0001.jpg"},
                               {"\u00c9t\u00c9.png", "\u00e9t\u00e9.png"},
                               {"\u0394\u03a3.tif", "\u03b4\u03c3.tif"}}) {
        EXPECT_EQ(host::caseFolded(a), host::caseFolded(b)) << a;
    }
    EXPECT_NE(host::caseFolded("a.jpg"), host::caseFolded("b.jpg"));
}

// The batch goes on when the system refuses threads: with those that
// started, or on the calling thread.
TEST_F(FileSafety, ABatchGoesOnWhenThreadsCannotStart) {
    const std::string a = write("a.png", makePng(patterned(9, 7, false)));
    const std::string b = write("b.png", makePng(patterned(9, 7, true)));
    const std::string c = write("c.png", makePng(patterned(9, 7, false)));
    const host::PluginLibrary library(plugin_);
    const host::PluginObject object(library);
    for (const int startable : {0, 1}) {
        const std::string out = path("out-" + std::to_string(startable));
        fs::create_directories(host::pathFromUtf8(out));
        int started = 0;
        const host::ThreadStarter refusing = [&](std::function<void()> work) {
            if (started == startable) {
                throw std::system_error(std::make_error_code(std::errc::resource_unavailable_try_again));
            }
            ++started;
            return std::thread(std::move(work));
        };
        std::ostringstream lines, errors;
        host::Console console{lines, errors};
        host::BatchSettings settings;
        settings.outputFolder = out;
        host::BatchPlan plan({a, b, c}, settings);
        host::ProgressReport report(console, false, std::nullopt);
        const std::size_t failures =
            host::runBatch(plan, object, 1, "Sepia 2", host::ToneOptions{}, 3, report, refusing);
        EXPECT_EQ(failures, 0u) << errors.str();
        EXPECT_NE(errors.str().find("cannot start thread " + std::to_string(startable + 1) + " of 3"),
                  std::string::npos)
            << errors.str();
        EXPECT_EQ(listing(out), (std::vector<std::string>{"a.png", "b.png", "c.png"}));
    }
}

// Whole or not at all: a long name, a kept mode, no temporary file after
// success, an abandoned write, or a write that the file size limit stops.
TEST_F(FileSafety, OutputFilesAreWholeOrAbsent) {
    const std::string longName = path(std::string(240, 'n') + ".png");
    host::writeFileAtomically(longName, {1, 2, 3});
    EXPECT_EQ(readBytes(longName), (std::vector<std::uint8_t>{1, 2, 3}));
    fs::remove(host::pathFromUtf8(longName));

    const std::string target = write("kept.bin", {7, 7});
    {
        host::OutputFile abandoned(target);
        abandoned.write("new", 3);
    }
    EXPECT_EQ(readBytes(target), (std::vector<std::uint8_t>{7, 7}));
    EXPECT_EQ(listing(), std::vector<std::string>{"kept.bin"});

#if defined(_WIN32)
    std::printf("the file size limit and file modes are POSIX matters; skipped on Windows\n");
#else
    ASSERT_EQ(::chmod(target.c_str(), 0640), 0);
    host::writeFileAtomically(target, {9});
    struct stat status {};
    ASSERT_EQ(::stat(target.c_str(), &status), 0);
    EXPECT_EQ(status.st_mode & 07777, 0640u) << "the replaced file's mode is kept";

    // A disk that fills up halfway: the file size limit stops the write.
    rlimit saved{};
    ::getrlimit(RLIMIT_FSIZE, &saved);
    const auto previous = std::signal(SIGXFSZ, SIG_IGN);
    rlimit small = saved;
    small.rlim_cur = 4096;
    ::setrlimit(RLIMIT_FSIZE, &small);
    std::string message;
    try {
        host::writeFileAtomically(target, std::vector<std::uint8_t>(100000, 1));
    } catch (const host::HostError& error) {
        message = error.what();
    }
    ::setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, previous);
    EXPECT_NE(message.find("cannot write '" + target + "': writing failed (File too large)"), std::string::npos)
        << message;
    EXPECT_EQ(readBytes(target), (std::vector<std::uint8_t>{9}));
    EXPECT_EQ(listing(), std::vector<std::string>{"kept.bin"}) << "no temporary file is left";
#endif
}

}  // namespace
