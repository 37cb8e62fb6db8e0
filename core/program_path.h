#pragma once

#include <string>

// The folder part of a program's full path, without the trailing backslash:
// "C:\Tools\app.exe" gives "C:\Tools", "D:\app.exe" gives "D:".
std::string ProgramDirOfPath(const std::string& path);
// The file name of a program's full path; without the extension the last
// four characters (dot and extension) are dropped.
std::string ProgramNameOfPath(const std::string& path, bool withExtension);
