#include "platform/window_class.h"

#include <string>

#include "platform/exception.h"

bool EnsureWindowClass(const WNDCLASSA& windowClass)
{
  WNDCLASSA existing;
  if (GetClassInfoA(windowClass.hInstance, windowClass.lpszClassName, &existing))
    return true;
  return RegisterClassA(&windowClass) != 0 || GetLastError() == ERROR_CLASS_ALREADY_EXISTS;
}

void RequireWindowClass(const WNDCLASSA& windowClass, const char* kind)
{
  if (!EnsureWindowClass(windowClass))
    throw Exception(std::string("Cannot register the ") + kind + " window class (error " +
                    std::to_string(GetLastError()) + ")");
}
