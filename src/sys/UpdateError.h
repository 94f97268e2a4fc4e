#pragma once
// An error the user is shown in German; raised where an operation cannot go
// on and shown by the wizard's click handler (or the start-up).
#include <exception>
#include <string>

class UpdateError : public std::exception {
public:
    explicit UpdateError(std::wstring message) : message_(std::move(message)) {}
    const std::wstring& message() const noexcept { return message_; }
    const char* what() const noexcept override { return "UpdateError"; }

private:
    std::wstring message_;
};
