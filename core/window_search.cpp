#include "core/window_search.h"

#include <string>

#include "platform/ascii_text.h"

HWND FindWindowWithTitle(const std::string& text)
{
  const std::string wanted = UpperAscii(text);
  HWND window = FindWindowA(nullptr, nullptr);
  for (int examined = 0; window != nullptr && examined < 1001; ++examined) {
    char title[255];
    const int length = GetWindowTextA(window, title, sizeof title);
    if (length > 0 &&
        UpperAscii(std::string(title, static_cast<std::size_t>(length))).find(wanted) != std::string::npos) {
      char className[256];
      const int classLength = GetClassNameA(window, className, sizeof className);
      if (std::string(className, static_cast<std::size_t>(classLength > 0 ? classLength : 0)) != "THintWindow")
        return window;
    }
    window = GetWindow(window, GW_HWNDNEXT);
  }
  return nullptr;
}
