// The docs and the manual page say what the table of formats says. Each list
// of formats in them stands between markers naming the list, which this
// test makes again from the table (formatList in formats.h):
//   Markdown:  <!-- formats: streamed and -->PNG, JPEG and TIFF<!-- /formats -->
//   troff:     .\" formats: streamed and
//              PNG, JPEG and TIFF
//              .\" /formats
// and the table of formats in docs/reference-host.md, after
// <!-- formats: table -->, has a row for each format, no more.
#include <gtest/gtest.h>

#include <fstream>
#include <regex>
#include <set>
#include <sstream>
#include <string>

#include "host/image/formats.h"

namespace {

std::string readText(const std::string& path) {
    std::ifstream in(path);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

// What a troff or Markdown list reads as plain text.
std::string plain(std::string text) {
    text = std::regex_replace(text, std::regex(R"(\\f[BIRP])"), "");
    text = std::regex_replace(text, std::regex(R"(\\-)"), "-");
    text = std::regex_replace(text, std::regex(R"(\\&)"), "");
    text = std::regex_replace(text, std::regex(R"(\*\*|`)"), "");
    text = std::regex_replace(text, std::regex(R"(\s+)"), " ");
    return std::regex_replace(text, std::regex(R"(^ |;? $|;$)"), "");
}

struct Mention {
    std::string list;
    std::string conjunction;
    std::string text;
};

std::vector<Mention> mentions(const std::string& text) {
    std::vector<Mention> found;
    const std::regex marker(
        R"((?:<!-- formats: (\w+) (\w+) -->([\s\S]*?)<!-- /formats -->)|(?:\.\\" formats: (\w+) (\w+)\n([\s\S]*?)\.\\" /formats))");
    for (std::sregex_iterator at(text.begin(), text.end(), marker), end; at != end; ++at) {
        const std::smatch& match = *at;
        const bool markdown = match[1].matched;
        found.push_back({match[markdown ? 1 : 4], match[markdown ? 2 : 5], plain(match[markdown ? 3 : 6])});
    }
    return found;
}

TEST(FormatDocs, EveryListOfFormatsIsTheTables) {
    int checked = 0;
    for (const char* document : {"README.md", "docs/reference-host.md", "docs/known-gaps.md", "docs/sepia-host.1",
                                 "docs/release/README.md.in", "docs/architecture.md"}) {
        const std::string text = readText(std::string(SEPIA_SOURCE_DIR) + "/" + document);
        ASSERT_FALSE(text.empty()) << document;
        for (const Mention& mention : mentions(text)) {
            EXPECT_EQ(mention.text, host::formatList(mention.list, mention.conjunction.c_str()))
                << document << ", list " << mention.list;
            ++checked;
        }
    }
    EXPECT_GE(checked, 10) << "the docs' lists of formats are marked";
}

TEST(FormatDocs, TheTableOfFormatsHasARowForEachFormat) {
    const std::string text = readText(std::string(SEPIA_SOURCE_DIR) + "/docs/reference-host.md");
    const std::size_t start = text.find("<!-- formats: table -->");
    ASSERT_NE(start, std::string::npos);
    std::set<std::string> rows;
    std::istringstream lines(text.substr(start));
    std::string line;
    std::getline(lines, line);  // the marker
    for (int row = 0; std::getline(lines, line) && line.rfind('|', 0) == 0; ++row) {
        if (row >= 2) {  // past the heading and its rule
            rows.insert(plain(line.substr(1, line.find('|', 1) - 1)));
        }
    }
    std::set<std::string> expected;
    for (const host::Format& format : host::formats()) {
        expected.insert(format.alsoCalled == nullptr ? format.name
                                                     : std::string(format.name) + " (" + format.alsoCalled + ")");
    }
    EXPECT_EQ(rows, expected);
}

}  // namespace
