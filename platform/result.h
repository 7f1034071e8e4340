// Errors are values: a Status is either ok or carries a message a user can read.
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
    Status status() const { return isOk() ? Status{} : Status{std::get<1>(v_)}; }

private:
    std::variant<T, Error> v_;
};

}  // namespace platform
