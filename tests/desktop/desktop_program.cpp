#include "tests/desktop/desktop_program.h"

#include <thread>

#include "tests/support/test_paths.h"

TDesktopProgram::TDesktopProgram(const std::string& folder) : folder_(folder)
{
  CopyFileA(BinaryPath("desktop/korvalind.exe").c_str(), (folder_ + "\\korvalind.exe").c_str(), FALSE);
}

TDesktopProgram::~TDesktopProgram()
{
  if (info_.hProcess != nullptr) {
    Kill();
    CloseHandle(info_.hProcess);
    CloseHandle(info_.hThread);
  }
}

bool TDesktopProgram::Start(const std::string& arguments)
{
  const std::string program = folder_ + "\\korvalind.exe";
  std::string commandLine = "\"" + program + "\"";
  if (!arguments.empty())
    commandLine += " " + arguments;
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  return CreateProcessA(program.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, folder_.c_str(),
                        &startup, &info_) != FALSE;
}

bool TDesktopProgram::Running() const
{
  return info_.hProcess != nullptr && WaitForSingleObject(info_.hProcess, 0) == WAIT_TIMEOUT;
}

bool TDesktopProgram::WaitForEnd(std::chrono::milliseconds timeout) const
{
  return WaitForSingleObject(info_.hProcess, static_cast<DWORD>(timeout.count())) == WAIT_OBJECT_0;
}

DWORD TDesktopProgram::ExitCode() const
{
  DWORD code = STILL_ACTIVE;
  GetExitCodeProcess(info_.hProcess, &code);
  return code;
}

void TDesktopProgram::Kill()
{
  if (Running()) {
    TerminateProcess(info_.hProcess, 99);
    WaitForEnd(std::chrono::seconds(10));
  }
}

HWND TDesktopProgram::FindWindowOf(const char* className, const char* title) const
{
  HWND window = nullptr;
  while ((window = FindWindowExA(nullptr, window, className, title)) != nullptr) {
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    if (owner == info_.dwProcessId)
      return window;
  }
  return nullptr;
}

HWND TDesktopProgram::WaitForWindow(const char* className, const char* title, std::chrono::milliseconds timeout) const
{
  HWND found = nullptr;
  WaitUntil([&] { return (found = FindWindowOf(className, title)) != nullptr || !Running(); }, timeout);
  return found;
}

std::vector<std::string> ChildTexts(HWND window, const char* className)
{
  std::vector<std::string> texts;
  HWND child = nullptr;
  while ((child = FindWindowExA(window, child, className, nullptr)) != nullptr) {
    // WM_GETTEXT itself: GetWindowTextA does not ask another process's window.
    char text[1024] = "";
    DWORD_PTR copied = 0;
    SendMessageTimeoutA(child, WM_GETTEXT, sizeof text, reinterpret_cast<LPARAM>(text), SMTO_ABORTIFHUNG, 5000,
                        &copied);
    texts.emplace_back(text);
  }
  return texts;
}

bool WaitUntil(const std::function<bool()>& condition, std::chrono::milliseconds timeout)
{
  const auto end = std::chrono::steady_clock::now() + timeout;
  while (!condition()) {
    if (std::chrono::steady_clock::now() >= end)
      return condition();
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  return true;
}
