// sepia-host: a stand-in for the host application, for trying a plug-in on
// real images. Exit codes: 0 success, 1 failure, 2 usage error.
#include <cstdio>
#include <iostream>
#include <string>
#include <vector>

#include "host/cli/command_line.h"
#include "host/files/interruption.h"

#if defined(_WIN32)
#include <io.h>
#include <windows.h>

#include <filesystem>

#include "host/utf8_path.h"

// The Windows shell passes "*.jpg" on as it stands; the C runtime expands
// such patterns into file names when the program asks it to, as here.
extern "C" {
int _dowildcard = -1;
}

// Arguments arrive as UTF-16, so that every file name survives; the host
// works in UTF-8, and so does its console output.
int wmain(int argc, wchar_t** argv) {
    SetConsoleOutputCP(CP_UTF8);
    host::watchForInterruption();
    std::vector<std::string> arguments;
    for (int i = 1; i < argc; ++i) {
        arguments.push_back(host::utf8FromPath(std::filesystem::path(argv[i])));
    }
    const bool errIsTerminal = _isatty(_fileno(stderr)) != 0;
    return host::runCommandLine(arguments, std::cout, std::cerr, errIsTerminal);
}

#else
#include <unistd.h>

#include <csignal>

int main(int argc, char** argv) {
    // A write past the file size limit fails with an error the host reports,
    // instead of ending the process.
    std::signal(SIGXFSZ, SIG_IGN);
    host::watchForInterruption();
    const bool errIsTerminal = isatty(fileno(stderr)) != 0;
    return host::runCommandLine(std::vector<std::string>(argv + 1, argv + argc), std::cout, std::cerr, errIsTerminal);
}
#endif
