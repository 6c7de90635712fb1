// sepia-host: a stand-in for the host application, for trying a plug-in on
// real images. Exit codes: 0 success, 1 failure, 2 usage error.
#include <cstring>
#include <exception>
#include <iostream>
#include <new>
#include <string>
#include <vector>

#include "host/commands.h"
#include "host/host_error.h"
#include "host/plugin_library.h"

namespace {

struct Command {
    const char* name;
    void (*run)(const std::vector<std::string>&, std::ostream&);
    const char* usage;
};

constexpr Command kCommands[] = {
    {"info", host::runInfo, host::kInfoUsage},
    {"apply", host::runApply, host::kApplyUsage},
    {"sheet", host::runSheet, host::kSheetUsage},
};

bool isHelp(const std::string& argument) { return argument == "--help" || argument == "-h"; }

}  // namespace

int main(int argc, char** argv) {
    const std::vector<std::string> arguments(argv + 1, argv + argc);
    if (arguments.empty()) {
        std::cerr << host::kProgramUsage;
        return 2;
    }
    if (isHelp(arguments[0]) || arguments[0] == "help") {
        std::cout << host::kProgramUsage;
        return 0;
    }
    const Command* command = nullptr;
    for (const Command& candidate : kCommands) {
        if (arguments[0] == candidate.name) {
            command = &candidate;
        }
    }
    if (command == nullptr) {
        std::cerr << "sepia-host: unknown command '" << arguments[0] << "'\n\n" << host::kProgramUsage;
        return 2;
    }
    const std::vector<std::string> rest(arguments.begin() + 1, arguments.end());
    for (const std::string& argument : rest) {
        if (isHelp(argument)) {
            std::cout << command->usage;
            return 0;
        }
    }
    try {
        command->run(rest, std::cout);
        return 0;
    } catch (const host::UsageError& error) {
        std::cerr << "sepia-host " << command->name << ": " << error.what() << "\n\n" << command->usage;
        return 2;
    } catch (const host::HostError& error) {
        std::cerr << "sepia-host " << command->name << ": " << error.what() << "\n";
    } catch (const host::PluginLoadError& error) {
        std::cerr << "sepia-host " << command->name << ": " << error.what() << "\n";
    } catch (const std::bad_alloc&) {
        std::cerr << "sepia-host " << command->name << ": out of memory\n";
    } catch (const std::exception& error) {
        std::cerr << "sepia-host " << command->name << ": " << error.what() << "\n";
    }
    return 1;
}
