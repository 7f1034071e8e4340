// Errors are values: a Status is either ok or carries a message a user can read.
// A failure passes on up in one line, whatever it was held in:
//     if (!parsed) return parsed.error();
//     if (Status s = write(); !s) return s.error();
#pragma once

#include <string>
#include <utility>
#include <variant>

namespace platform {

struct Error {
    std::string message;
};

class [[nodiscard]] Status {
public:
    Status() = default;
    Status(Error error) : error_(std::move(error.message)), failed_(true) {}  // NOLINT: implicit by design

    static Status ok() { return {}; }
    bool isOk() const { return !failed_; }
    explicit operator bool() const { return !failed_; }
    const std::string& message() const { return error_; }
    // The failure, to pass on as a Status or as any Result. Only for a failed Status.
    Error error() const { return Error{error_}; }

private:
    std::string error_;
    bool failed_ = false;
};

template <typename T>
class [[nodiscard]] Result {
public:
    Result(T value) : v_(std::move(value)) {}        // NOLINT: implicit by design
    Result(Error error) : v_(std::move(error)) {}    // NOLINT: implicit by design

    bool isOk() const { return v_.index() == 0; }
    explicit operator bool() const { return isOk(); }
    T& value() & { return std::get<0>(v_); }
    const T& value() const& { return std::get<0>(v_); }
    T&& value() && { return std::get<0>(std::move(v_)); }
    T* operator->() { return &value(); }
    const T* operator->() const { return &value(); }
    T& operator*() & { return value(); }
    const T& operator*() const& { return value(); }
    const std::string& message() const { return std::get<1>(v_).message; }
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
