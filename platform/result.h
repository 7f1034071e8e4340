// Errors are values: a Status is either ok or carries an Error, a message a
// user can read with the kind of failure and, where the system failed, the
// system's own error code and which system gave it.
// A failure passes on up in one line, whatever it was held in, unchanged:
//     if (!parsed) return parsed.error();
//     if (Status s = write(); !s) return s.error();
// What the user reads is text() or why(): the message or the cause, with a
// Windows error's own code after it.
#pragma once

#include <string>
#include <utility>
#include <variant>

namespace platform {

// What went wrong, for code that must act on the cause rather than show it.
enum class ErrorKind {
    Other,           // none of those below
    NotFound,        // no such file, or a folder on its way is missing
    AccessDenied,    // the system refused this user
    IsADirectory,    // a folder where a file was wanted
    NotRegularFile,  // a pipe, a device, ...
    ReadOnly,        // a file no one may write (the read-only attribute)
    NoSpace,         // the disk, a quota or the file-size limit is full
    OutOfMemory,     // memory ran out
    Io,              // any other failure the system reported
    BadFormat,       // bytes that are not what they must be
    Unsupported,     // a valid input this program cannot handle (too large, no room)
    Changed,         // a file changed while it was in use
    Internal,        // a fault of this program
    InvalidName,     // a name the program's rules refuse
};

// Which system an Error's code comes from.
enum class ErrorOrigin {
    None,     // the failure was not the system's; the code is 0
    Errno,    // a C library error number (errno)
    Windows,  // a Windows error code (GetLastError)
};

struct Error {
    Error() = default;
    // Every failure says what kind it is (Other where none fits): a bare
    // string is no Error.
    Error(std::string message, ErrorKind kind) : message(std::move(message)), kind(kind) {}
    // A failure of the system: its code as the system gave it, never
    // translated, so that the user can look it up.
    Error(std::string message, ErrorKind kind, ErrorOrigin origin, int code, std::string reason)
        : message(std::move(message)),
          kind(kind),
          origin(origin),
          code(code),
          reason(std::move(reason)) {}

    // The whole sentence: "cannot open /x/plugin.dll: No such file or directory".
    std::string message;
    // What the program makes of the failure (derived from the code where
    // the system gave one).
    ErrorKind kind = ErrorKind::Other;
    ErrorOrigin origin = ErrorOrigin::None;
    // The system's code as it gave it; 0 when the failure was not the system's.
    int code = 0;
    // The cause alone, without what was being done or to which file
    // ("No such file or directory"); empty when the message is all there is.
    std::string reason;

    // The same failure, told as part of something larger: `context` before
    // the message ("written image does not read back: "), the code kept.
    Error within(const std::string& context) const {
        Error outer = *this;
        outer.message = context + message;
        return outer;
    }
    // The system's code as the user reads it: " (Windows error 32)". The C
    // library's own text names an errno value, so none is added for it.
    std::string codeNote() const {
        if (origin != ErrorOrigin::Windows)
            return {};
        return " (Windows error " + std::to_string(static_cast<unsigned>(code)) + ")";
    }
    // The whole sentence for the user.
    std::string text() const { return message + codeNote(); }
    // The cause alone where there is one, else the whole message; for the user.
    std::string why() const { return (reason.empty() ? message : reason) + codeNote(); }
};

class [[nodiscard]] Status {
  public:
    Status() = default;
    Status(Error error) : error_(std::move(error)), failed_(true) {}  // NOLINT: implicit by design

    static Status ok() { return {}; }
    bool isOk() const { return !failed_; }
    explicit operator bool() const { return !failed_; }
    // What the user reads: the message, with a Windows error's code.
    std::string message() const { return error_.text(); }
    ErrorKind kind() const { return error_.kind; }
    // The failure, to pass on as a Status or as any Result. Only for a failed Status.
    const Error& error() const { return error_; }

  private:
    Error error_;
    bool failed_ = false;
};

template <typename T>
class [[nodiscard]] Result {
  public:
    using value_type = T;

    Result(T value) : v_(std::move(value)) {}      // NOLINT: implicit by design
    Result(Error error) : v_(std::move(error)) {}  // NOLINT: implicit by design

    bool isOk() const { return v_.index() == 0; }
    explicit operator bool() const { return isOk(); }
    T& value() & { return std::get<0>(v_); }
    const T& value() const& { return std::get<0>(v_); }
    T&& value() && { return std::get<0>(std::move(v_)); }
    T* operator->() { return &value(); }
    const T* operator->() const { return &value(); }
    T& operator*() & { return value(); }
    const T& operator*() const& { return value(); }
    std::string message() const { return std::get<1>(v_).text(); }
    ErrorKind kind() const { return std::get<1>(v_).kind; }
    // The failure, to pass on as a Status or as a Result of another type.
    // Only for a failed Result.
    const Error& error() const { return std::get<1>(v_); }
    Status status() const { return isOk() ? Status{} : Status{std::get<1>(v_)}; }
    // A Result stands where only success or failure matters.
    operator Status() const { return status(); }  // NOLINT: implicit by design

  private:
    std::variant<T, Error> v_;
};

}  // namespace platform
