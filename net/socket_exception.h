#pragma once

#include <string>

#include "platform/exception.h"

// Raised by the socket layer when an error is to be reported and no OnError
// handler takes it.
class ESocketException : public Exception {
public:
  explicit ESocketException(std::string message) : Exception(std::move(message)) {}
};
