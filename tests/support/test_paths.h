#pragma once

#include <string>

// Paths handed to tests by CTest are Unix paths; a test program under Wine
// sees the Unix root as drive Z:.
std::string HostPath(const std::string& unixPath);

// A file or folder of the source tree, as the running test program must name it.
std::string SourcePath(const std::string& relative);

// A file or folder of the build tree (the CTest binary dir).
std::string BinaryPath(const std::string& relative);

// A fresh, empty folder for one test, below the build tree.
std::string FreshTestDir(const std::string& name);
