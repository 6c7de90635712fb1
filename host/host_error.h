#pragma once

#include <exception>
#include <stdexcept>
#include <string>
#include <utility>

namespace host {

// Where a failure happened.
enum class Phase {
    Read,    // reading a file: opening it, its format, its pixels
    Write,   // encoding a file, or writing its bytes
    Commit,  // giving a finished file its name
    Other,   // anything else: the plug-in, folders, options, the system
};

// A failure to report to the user as it stands, with a non-zero exit code.
// It holds its facts: the phase, the file it concerns (none for Other) and
// the cause, which is said of that file ("not a valid PNG image (...)",
// "cannot encode JPEG (...)"). Where toning one file into another fails,
// that work adds the other file (inToning). The message is made from the
// facts in one place, compose():
//   Read    'IN': not a valid PNG image (...); 'OUT' is not written
//   Write   'IN': cannot write 'OUT': cannot encode JPEG (...)
//   Commit  'IN': cannot write 'OUT': cannot replace it (...)
//   Other   'FILE': the cause, or the cause alone
class HostError : public std::exception {
public:
    // Phase Other: a message that stands alone.
    explicit HostError(std::string message) : HostError(Phase::Other, {}, std::move(message)) {}
    HostError(Phase phase, std::string file, std::string cause)
        : phase_(phase), file_(std::move(file)), cause_(std::move(cause)) {
        compose();
    }

    static HostError reading(std::string file, std::string cause) {
        return HostError(Phase::Read, std::move(file), std::move(cause));
    }
    static HostError writing(std::string file, std::string cause) {
        return HostError(Phase::Write, std::move(file), std::move(cause));
    }
    static HostError committing(std::string file, std::string cause) {
        return HostError(Phase::Commit, std::move(file), std::move(cause));
    }

    Phase phase() const { return phase_; }
    const std::string& file() const { return file_; }
    const std::string& cause() const { return cause_; }
    const char* what() const noexcept override { return message_.c_str(); }

    // The same failure of reading, or of writing, as part of toning `input`
    // into `output`: the message names the other file too.
    HostError inToning(const std::string& input, const std::string& output) const {
        HostError error = *this;
        error.input_ = input;
        error.output_ = output;
        error.compose();
        return error;
    }
    // The same cause, as a failure of `phase` concerning `file` (a system
    // error of a file, said of the output or input it serves).
    HostError as(Phase phase, std::string file) const { return HostError(phase, std::move(file), cause_); }

private:
    void compose() {
        switch (phase_) {
            case Phase::Read:
                message_ = "'" + file_ + "': " + cause_;
                if (!output_.empty()) {
                    message_ += "; '" + output_ + "' is not written";
                }
                break;
            case Phase::Write:
            case Phase::Commit:
                message_ =
                    (input_.empty() ? std::string() : "'" + input_ + "': ") + "cannot write '" + file_ + "': " + cause_;
                break;
            case Phase::Other:
                message_ = file_.empty() ? cause_ : "'" + file_ + "': " + cause_;
                break;
        }
    }

    Phase phase_;
    std::string file_;
    std::string cause_;
    std::string input_;   // toning: the input whose output failed
    std::string output_;  // toning: the output a failed input leaves out
    std::string message_;
};

// A command line that does not fit the usage; the usage is printed with it.
class UsageError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

}  // namespace host
