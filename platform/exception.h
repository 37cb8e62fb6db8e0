#pragma once

#include <exception>
#include <string>

// Root of the system's exceptions. Header-only and portable, so the portable
// folders (pattern engine, text helpers) can raise it in native builds too.
class Exception : public std::exception {
public:
  explicit Exception(std::string message) : message_(std::move(message)) {}

  const std::string& Message() const noexcept { return message_; }

  const char* what() const noexcept override { return message_.c_str(); }

private:
  std::string message_;
};
