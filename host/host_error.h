#pragma once

#include <stdexcept>

namespace host {

// A failure to report to the user as it stands, with a non-zero exit code.
class HostError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// A command line that does not fit the usage; the usage is printed with it.
class UsageError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

}  // namespace host
