#pragma once

#include <string>

// The version values BuildIdent reads, kept for the life of the process.
extern std::string ProductName;
extern std::string ProductVersion;
extern std::string FileVersion;

// The running program's folder without a trailing backslash.
std::string GetProgramDir();
// The running program's file name; without the extension its last four
// characters are dropped.
std::string GetProgramName(bool withExtension);
// A value of the 040704E4 version table of fileName, or of the running
// program when fileName names no existing file; empty when missing.
std::string GetVersionValue(const std::string& key, const std::string& fileName = "");
// "Win32s", "Windows 95" or "Windows NT"; empty for any other platform.
std::string GetPlatformName();
// Reads the version values, draws a session code and forms IdentText.
void BuildIdent();

// Test hook: while dir is not empty, GetProgramDir gives dir instead of the
// running program's folder, so the ini and log files of a test lie in a
// folder of its own. Never called by the programs.
void SetProgramDirForTesting(const std::string& dir);
