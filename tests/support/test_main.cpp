#include <cstdio>
#include <cstdlib>
#include <cstring>

#include <gtest/gtest.h>

// The main of the test programs that open sockets or resolve names: they must
// never run where they could reach a real network. tools/sandbox sets this
// only after it has checked that loopback is the one interface left.
static bool InsideSandbox()
{
  const char* flag = std::getenv("KORVALIND_SANDBOX");
  return flag != nullptr && std::strcmp(flag, "1") == 0;
}

int main(int argc, char** argv)
{
  if (!InsideSandbox()) {
    std::fprintf(stderr, "refusing to run outside the test sandbox: use tools/sandbox\n");
    return 2;
  }
  testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
