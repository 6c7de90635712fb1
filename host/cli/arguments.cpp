#include "host/cli/arguments.h"

#include <utility>

#include "host/host_error.h"

namespace host {

std::optional<std::string> ParsedArguments::value(const std::string& name) const {
    const auto found = given_.find(name);
    if (found == given_.end()) {
        return std::nullopt;
    }
    return found->second;
}

void ParsedArguments::set(const std::string& name, std::string value) {
    if (!given_.emplace(name, std::move(value)).second) {
        throw UsageError(name + " given twice");
    }
}

ParsedArguments parseArguments(const std::vector<std::string>& arguments,
                               std::initializer_list<KnownOption> knownOptions) {
    ParsedArguments parsed;
    bool onlyPositional = false;
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        const std::string& argument = arguments[i];
        if (onlyPositional || argument.empty() || argument[0] != '-' || argument == "-") {
            parsed.positional.push_back(argument);
            continue;
        }
        if (argument == "--") {
            onlyPositional = true;
            continue;
        }
        const std::size_t equals = argument.find('=');
        const std::string name = argument.substr(0, equals);
        const KnownOption* option = nullptr;
        for (const KnownOption& candidate : knownOptions) {
            if (name == candidate.name || (candidate.shortName != nullptr && name == candidate.shortName)) {
                option = &candidate;
            }
        }
        if (option == nullptr || (equals != std::string::npos && name.rfind("--", 0) != 0)) {
            throw UsageError("unknown option '" + argument + "'");
        }
        if (!option->takesValue) {
            if (equals != std::string::npos) {
                throw UsageError(std::string(option->name) + " takes no value");
            }
            parsed.set(option->name, "");
        } else if (equals != std::string::npos) {
            parsed.set(option->name, argument.substr(equals + 1));
        } else {
            if (i + 1 >= arguments.size()) {
                throw UsageError(std::string(option->name) + " needs a value");
            }
            parsed.set(option->name, arguments[++i]);
        }
    }
    return parsed;
}

int wholeNumberOption(const std::string& option, const std::string& text, int low, int high) {
    long long value = 0;
    bool digits = !text.empty() && text.size() <= 9;
    for (const char c : text) {
        digits = digits && c >= '0' && c <= '9';
        value = value * 10 + (c - '0');
    }
    if (!digits || value < low || value > high) {
        throw UsageError(option + " must be a whole number from " + std::to_string(low) + " to " +
                         std::to_string(high) + ", not '" + text + "'");
    }
    return static_cast<int>(value);
}

}  // namespace host
