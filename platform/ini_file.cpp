#include "platform/ini_file.h"

#include <cstdint>
#include <vector>

#include <windows.h>

std::string TIniFile::ReadString(const std::string& section, const std::string& ident,
                                 const std::string& defaultValue) const
{
  // The call truncates silently, so grow the buffer until the value fits.
  std::vector<char> buffer(2048);
  for (;;) {
    const DWORD length = GetPrivateProfileStringA(section.c_str(), ident.c_str(), defaultValue.c_str(), buffer.data(),
                                                  static_cast<DWORD>(buffer.size()), fileName_.c_str());
    if (length + 1 < buffer.size() || buffer.size() >= (1u << 20))
      return std::string(buffer.data(), length);
    buffer.resize(buffer.size() * 4);
  }
}

int TIniFile::ReadInteger(const std::string& section, const std::string& ident, int defaultValue) const
{
  int value = 0;
  return TryTextToInt(ReadString(section, ident, ""), value) ? value : defaultValue;
}

bool TIniFile::ReadBool(const std::string& section, const std::string& ident, bool defaultValue) const
{
  return ReadInteger(section, ident, defaultValue ? 1 : 0) != 0;
}

void TIniFile::WriteString(const std::string& section, const std::string& ident, const std::string& value)
{
  if (!WritePrivateProfileStringA(section.c_str(), ident.c_str(), value.c_str(), fileName_.c_str()))
    throw EIniFileException("Unable to write to " + fileName_);
}

void TIniFile::WriteInteger(const std::string& section, const std::string& ident, int value)
{
  WriteString(section, ident, std::to_string(value));
}

void TIniFile::WriteBool(const std::string& section, const std::string& ident, bool value)
{
  WriteString(section, ident, value ? "1" : "0");
}
