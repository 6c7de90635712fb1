#pragma once

#include <initializer_list>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace host {

// One option a command accepts: "--name" (and "-n"), with a value
// ("--name VALUE" or "--name=VALUE") or without (a flag).
struct KnownOption {
    const char* name;       // "--preset"
    const char* shortName;  // "-p", or nullptr
    bool takesValue;
};

// A command's arguments: positionals in order, and the options given, by
// their long name. "--" ends the options; "-" alone is a positional.
class ParsedArguments {
public:
    std::vector<std::string> positional;

    bool has(const std::string& name) const { return given_.count(name) != 0; }
    // The option's value, or none if it was not given.
    std::optional<std::string> value(const std::string& name) const;

    void set(const std::string& name, std::string value);

private:
    std::map<std::string, std::string> given_;
};

// Throws UsageError for an unknown option, a missing value, a value given to
// a flag, or an option given twice.
ParsedArguments parseArguments(const std::vector<std::string>& arguments,
                               std::initializer_list<KnownOption> knownOptions);

// A whole number from `low` to `high`, written in decimal without sign or
// spaces; UsageError naming `option` otherwise.
int wholeNumberOption(const std::string& option, const std::string& text, int low, int high);

}  // namespace host
