#pragma once

#include <string>

#include "platform/exception.h"
#include "platform/text_to_int.h"

class EIniFileException : public Exception {
public:
  using Exception::Exception;
};

// An ini file read and written one key at a time through the system's
// private-profile calls: every access opens the file, reads or writes one key
// and leaves, so two programs may share the file. Section and key names are
// matched without regard to case.
class TIniFile {
public:
  explicit TIniFile(std::string fileName) : fileName_(std::move(fileName)) {}

  std::string ReadString(const std::string& section, const std::string& ident, const std::string& defaultValue) const;
  // Decimal text with optional leading blanks and one sign; anything else, or
  // a value outside 32 bits, gives the default.
  int ReadInteger(const std::string& section, const std::string& ident, int defaultValue) const;
  // True when the value is an integer other than 0; "yes" is not an integer.
  bool ReadBool(const std::string& section, const std::string& ident, bool defaultValue) const;

  // A failed write raises EIniFileException.
  void WriteString(const std::string& section, const std::string& ident, const std::string& value);
  void WriteInteger(const std::string& section, const std::string& ident, int value);
  void WriteBool(const std::string& section, const std::string& ident, bool value);

private:
  std::string fileName_;
};
