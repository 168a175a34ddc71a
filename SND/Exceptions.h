#pragma once

#include <stdexcept>
#include <string>

namespace sonari {

// The general error: its message is shown to the operator as it stands.
class Exception : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// A text that is not a number where a number was expected.
class EConvertError : public Exception {
public:
    using Exception::Exception;
};

// A value outside the range its destination can hold.
class ERangeError : public Exception {
public:
    using Exception::Exception;
};

// An operating-system call failed; the message is the system's text for the error.
class EOSError : public Exception {
public:
    EOSError(int errorCode, const std::string& message) : Exception(message), code_(errorCode) {}
    int ErrorCode() const { return code_; }

private:
    int code_;
};

// A violated precondition: a programming error, named after the component's source file.
class EAssertionFailed : public Exception {
public:
    explicit EAssertionFailed(const std::string& source)
        : Exception("Assertion failed (" + source + ")"), source_(source) {}
    const std::string& Source() const { return source_; }

private:
    std::string source_;
};

// Raises EAssertionFailed naming `source` (for example "SND/Resampl") when `condition` fails.
inline void Assert(bool condition, const char* source) {
    if (!condition)
        throw EAssertionFailed(source);
}

} // namespace sonari
