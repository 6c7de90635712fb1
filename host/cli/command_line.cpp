#include "host/cli/command_line.h"

#include <exception>
#include <new>

#include "host/cli/commands.h"
#include "host/files/interruption.h"
#include "host/host_error.h"
#include "host/plugin/plugin_library.h"
#include "host/plugin/plugin_version.h"

namespace host {

namespace {

struct Command {
    const char* name;
    int (*run)(const std::vector<std::string>&, Console&);
    std::string (*usage)();
};

constexpr Command kCommands[] = {
    {"info", runInfo, infoUsage},
    {"apply", runApply, applyUsage},
    {"sheet", runSheet, sheetUsage},
};

bool isHelp(const std::string& argument) { return argument == "--help" || argument == "-h"; }

// "sepia-host --version [PLUGIN]": the program's version, and the name,
// identifier and version of the plug-in given or installed with it.
int printVersion(const std::vector<std::string>& arguments, std::ostream& out, std::ostream& err) {
    if (arguments.size() > 2) {
        err << "sepia-host: --version takes at most a PLUGIN path\n";
        return 2;
    }
    out << "sepia-host " << SEPIA_VERSION << "\n";
    const std::string path = arguments.size() == 2 ? arguments[1] : installedPlugin();
    try {
        const PluginLibrary library(path);
        const std::optional<std::string> version = pluginVersionIn(path);
        out << "plug-in " << library.pluginName() << " " << version.value_or("(version not recorded)") << " ("
            << library.pluginId() << "), " << path << "\n";
    } catch (const std::exception& error) {
        err << "sepia-host: " << error.what() << "\n";
        return 1;
    }
    return 0;
}

}  // namespace

int runCommandLine(const std::vector<std::string>& arguments, std::ostream& out, std::ostream& err,
                   bool errIsTerminal) {
    if (arguments.empty()) {
        err << programUsage();
        return 2;
    }
    if (isHelp(arguments[0]) || arguments[0] == "help") {
        out << programUsage();
        return 0;
    }
    if (arguments[0] == "--version") {
        return printVersion(arguments, out, err);
    }
    const Command* command = nullptr;
    for (const Command& candidate : kCommands) {
        if (arguments[0] == candidate.name) {
            command = &candidate;
        }
    }
    if (command == nullptr) {
        err << "sepia-host: unknown command '" << arguments[0] << "'\n\n" << programUsage();
        return 2;
    }
    const std::vector<std::string> rest(arguments.begin() + 1, arguments.end());
    for (const std::string& argument : rest) {
        if (isHelp(argument)) {
            out << command->usage();
            return 0;
        }
    }
    Console console{out, err, errIsTerminal};
    try {
        return command->run(rest, console);
    } catch (const UsageError& error) {
        err << "sepia-host " << command->name << ": " << error.what() << "\n\n" << command->usage();
        return 2;
    } catch (const Interrupted&) {
        // A batch has said what it wrote; one file is not written.
        err << "sepia-host " << command->name << ": interrupted\n";
        return interruptedExitCode();
    } catch (const std::bad_alloc&) {
        err << "sepia-host " << command->name << ": out of memory\n";
    } catch (const std::exception& error) {
        // HostError, PluginLoadError and anything else: say what failed.
        err << "sepia-host " << command->name << ": " << error.what() << "\n";
    }
    return 1;
}

}  // namespace host
