// sepia-host: a stand-in for the host application, for trying a plug-in on
// real images. Exit codes: 0 success, 1 failure, 2 usage error.
#include <iostream>
#include <string>
#include <vector>

#include "host/command_line.h"

int main(int argc, char** argv) {
    return host::runCommandLine(std::vector<std::string>(argv + 1, argv + argc), std::cout, std::cerr);
}
