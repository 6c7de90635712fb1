// sepia-host: a stand-in for the host application, for trying a plug-in on
// real images. Exit codes: 0 success, 1 failure, 2 usage error.
#include <cstdio>
#include <iostream>
#include <string>
#include <vector>

#if defined(_WIN32)
#include <io.h>
#define SEPIA_ISATTY _isatty
#define SEPIA_FILENO _fileno
#else
#include <unistd.h>
#define SEPIA_ISATTY isatty
#define SEPIA_FILENO fileno
#endif

#include "host/cli/command_line.h"

#if defined(_WIN32)
// The Windows shell passes "*.jpg" on as it stands; the C runtime expands
// such patterns into file names when the program asks it to, as here.
extern "C" {
int _dowildcard = -1;
}
#endif

int main(int argc, char** argv) {
    const bool errIsTerminal = SEPIA_ISATTY(SEPIA_FILENO(stderr)) != 0;
    return host::runCommandLine(std::vector<std::string>(argv + 1, argv + argc), std::cout, std::cerr, errIsTerminal);
}
