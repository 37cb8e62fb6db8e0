// Prints the version values of each program named on the command line.
#include <cstdio>

#include "platform/version_info.h"

int main(int argc, char** argv)
{
  if (argc < 2) {
    std::fprintf(stderr, "usage: print_version program.exe...\n");
    return 2;
  }
  int status = 0;
  for (int i = 1; i < argc; ++i) {
    const std::string product = ReadVersionValue(argv[i], "ProductName");
    if (product.empty()) {
      std::fprintf(stderr, "%s: no version resource\n", argv[i]);
      status = 1;
      continue;
    }
    std::printf("%s: %s %s (FileVersion %s, %s)\n", argv[i], product.c_str(),
                ReadVersionValue(argv[i], "ProductVersion").c_str(), ReadVersionValue(argv[i], "FileVersion").c_str(),
                ReadVersionValue(argv[i], "FileDescription").c_str());
  }
  return status;
}
