#include "regex/case_swap.h"

#include <windows.h>

char DefaultCaseSwap(char c)
{
  // A pointer argument whose high word is zero is taken as one character; the
  // byte must be zero-extended, or a code above 0x7F becomes a wild pointer.
  auto code = static_cast<unsigned char>(c);
  if (code == 0) {
    return c;
  }
  auto upper = static_cast<unsigned char>(
      reinterpret_cast<ULONG_PTR>(CharUpperA(reinterpret_cast<LPSTR>(static_cast<ULONG_PTR>(code)))));
  if (upper != code) {
    return static_cast<char>(upper);
  }
  return static_cast<char>(static_cast<unsigned char>(
      reinterpret_cast<ULONG_PTR>(CharLowerA(reinterpret_cast<LPSTR>(static_cast<ULONG_PTR>(code))))));
}
