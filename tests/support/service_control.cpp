#include "tests/support/service_control.h"

#include <cstring>
#include <fstream>
#include <functional>
#include <thread>

#include "platform/service/service_handle.h"

namespace {

SC_HANDLE OpenManager()
{
  return OpenSCManagerA(nullptr, nullptr, SC_MANAGER_ALL_ACCESS);
}

// The test's environment block with the extra entries in front, which
// GetEnvironmentVariable finds first.
std::string EnvironmentBlock(const std::vector<std::string>& extra)
{
  std::string block;
  for (const auto& entry : extra) {
    block += entry;
    block += '\0';
  }
  char* current = GetEnvironmentStringsA();
  for (const char* p = current; *p != '\0'; p += std::strlen(p) + 1) {
    bool replaced = false;
    for (const auto& entry : extra) {
      const auto eq = entry.find('=');
      if (_strnicmp(p, entry.c_str(), eq + 1) == 0)
        replaced = true;
    }
    if (!replaced) {
      block += p;
      block += '\0';
    }
  }
  FreeEnvironmentStringsA(current);
  block += '\0';
  return block;
}

}  // namespace

DWORD RunProgram(const std::string& program, const std::string& arguments, const std::string& stderrFile,
                 const std::vector<std::string>& extraEnvironment)
{
  std::string commandLine = "\"" + program + "\"";
  if (!arguments.empty())
    commandLine += " " + arguments;
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  HANDLE errorFile = INVALID_HANDLE_VALUE;
  if (!stderrFile.empty()) {
    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    errorFile = CreateFileA(stderrFile.c_str(), GENERIC_WRITE, FILE_SHARE_READ, &inherit, CREATE_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    startup.hStdOutput = GetStdHandle(STD_OUTPUT_HANDLE);
    startup.hStdError = errorFile;
  }
  std::string environment = EnvironmentBlock(extraEnvironment);
  PROCESS_INFORMATION process{};
  const BOOL created = CreateProcessA(nullptr, commandLine.data(), nullptr, nullptr, errorFile != INVALID_HANDLE_VALUE,
                                      0, environment.data(), nullptr, &startup, &process);
  if (errorFile != INVALID_HANDLE_VALUE)
    CloseHandle(errorFile);
  if (!created)
    return static_cast<DWORD>(-1);
  // A program that waits for someone to close a message box never ends by
  // itself: it must not outlive the test.
  if (WaitForSingleObject(process.hProcess, 120000) != WAIT_OBJECT_0)
    TerminateProcess(process.hProcess, ERROR_TIMEOUT);
  WaitForSingleObject(process.hProcess, 10000);
  DWORD code = static_cast<DWORD>(-1);
  GetExitCodeProcess(process.hProcess, &code);
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  return code;
}

TServiceConfig QueryConfig(const std::string& name)
{
  TServiceConfig config;
  TServiceHandle manager(OpenManager());
  TServiceHandle service(OpenServiceA(manager.Get(), name.c_str(), SERVICE_QUERY_CONFIG));
  if (service.Get() == nullptr)
    return config;
  DWORD needed = 0;
  QueryServiceConfigA(service.Get(), nullptr, 0, &needed);
  std::vector<char> buffer(needed + 1);
  auto* info = reinterpret_cast<QUERY_SERVICE_CONFIGA*>(buffer.data());
  if (!QueryServiceConfigA(service.Get(), info, static_cast<DWORD>(buffer.size()), &needed))
    return config;
  config.exists = true;
  config.serviceType = info->dwServiceType;
  config.startType = info->dwStartType;
  config.errorControl = info->dwErrorControl;
  auto text = [](const char* s) { return s != nullptr ? std::string(s) : std::string(); };
  config.binaryPath = text(info->lpBinaryPathName);
  config.startName = text(info->lpServiceStartName);
  config.displayName = text(info->lpDisplayName);
  config.loadGroup = text(info->lpLoadOrderGroup);
  return config;
}

void RemoveService(const std::string& name)
{
  TServiceHandle manager(OpenManager());
  TServiceHandle service(OpenServiceA(manager.Get(), name.c_str(), SERVICE_ALL_ACCESS));
  if (service.Get() == nullptr)
    return;
  SERVICE_STATUS_PROCESS status{};
  DWORD needed = 0;
  if (QueryServiceStatusEx(service.Get(), SC_STATUS_PROCESS_INFO, reinterpret_cast<BYTE*>(&status), sizeof status,
                           &needed) &&
      status.dwCurrentState != SERVICE_STOPPED) {
    SERVICE_STATUS answer{};
    ::ControlService(service.Get(), SERVICE_CONTROL_STOP, &answer);
    WaitForState(name, SERVICE_STOPPED, std::chrono::seconds(60));
    if (status.dwProcessId != 0 && !WaitForProcessEnd(status.dwProcessId, std::chrono::seconds(30))) {
      HANDLE process = OpenProcess(PROCESS_TERMINATE, FALSE, status.dwProcessId);
      if (process != nullptr) {
        TerminateProcess(process, 1);
        CloseHandle(process);
      }
    }
  }
  DeleteService(service.Get());
}

bool StartService(const std::string& name, const std::vector<std::string>& arguments)
{
  TServiceHandle manager(OpenManager());
  TServiceHandle service(OpenServiceA(manager.Get(), name.c_str(), SERVICE_ALL_ACCESS));
  if (service.Get() == nullptr)
    return false;
  std::vector<const char*> argv;
  for (const auto& argument : arguments)
    argv.push_back(argument.c_str());
  return StartServiceA(service.Get(), static_cast<DWORD>(argv.size()), argv.empty() ? nullptr : argv.data()) != FALSE;
}

SERVICE_STATUS ControlService(const std::string& name, DWORD code, DWORD* lastError)
{
  SERVICE_STATUS status{};
  TServiceHandle manager(OpenManager());
  TServiceHandle service(OpenServiceA(manager.Get(), name.c_str(), SERVICE_ALL_ACCESS));
  if (service.Get() == nullptr || !::ControlService(service.Get(), code, &status)) {
    if (lastError != nullptr)
      *lastError = GetLastError();
    status.dwCurrentState = 0;
  } else if (lastError != nullptr) {
    *lastError = 0;
  }
  return status;
}

SERVICE_STATUS_PROCESS QueryStatus(const std::string& name)
{
  SERVICE_STATUS_PROCESS status{};
  TServiceHandle manager(OpenManager());
  TServiceHandle service(OpenServiceA(manager.Get(), name.c_str(), SERVICE_QUERY_STATUS));
  DWORD needed = 0;
  if (service.Get() == nullptr || !QueryServiceStatusEx(service.Get(), SC_STATUS_PROCESS_INFO,
                                                        reinterpret_cast<BYTE*>(&status), sizeof status, &needed))
    status.dwCurrentState = 0;
  return status;
}

bool WaitForState(const std::string& name, DWORD state, std::chrono::milliseconds timeout,
                  std::vector<SERVICE_STATUS_PROCESS>* seen)
{
  auto same = [](const SERVICE_STATUS_PROCESS& a, const SERVICE_STATUS_PROCESS& b) {
    return a.dwCurrentState == b.dwCurrentState && a.dwCheckPoint == b.dwCheckPoint && a.dwWaitHint == b.dwWaitHint &&
           a.dwControlsAccepted == b.dwControlsAccepted;
  };
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  for (;;) {
    const SERVICE_STATUS_PROCESS status = QueryStatus(name);
    if (seen != nullptr && (seen->empty() || !same(seen->back(), status)))
      seen->push_back(status);
    if (status.dwCurrentState == state)
      return true;
    if (std::chrono::steady_clock::now() >= deadline)
      return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
}

bool WaitForProcessEnd(DWORD processId, std::chrono::milliseconds timeout)
{
  HANDLE process = OpenProcess(SYNCHRONIZE, FALSE, processId);
  if (process == nullptr)
    return true;
  const bool ended = WaitForSingleObject(process, static_cast<DWORD>(timeout.count())) == WAIT_OBJECT_0;
  CloseHandle(process);
  return ended;
}

std::vector<std::string> ReadLines(const std::string& file)
{
  std::ifstream in(file, std::ios::binary);
  std::vector<std::string> lines;
  std::string line;
  while (std::getline(in, line)) {
    if (!line.empty() && line.back() == '\r')
      line.pop_back();
    lines.push_back(line);
  }
  return lines;
}

std::vector<std::string> ReadLogTexts(const std::string& file)
{
  std::vector<std::string> texts;
  for (const auto& line : ReadLines(file)) {
    // date, one blank, time, two blanks, text
    const auto separator = line.find("  ");
    texts.push_back(separator == std::string::npos ? line : line.substr(separator + 2));
  }
  return texts;
}

bool WaitUntil(const std::function<bool()>& condition, std::chrono::milliseconds timeout)
{
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  while (!condition()) {
    if (std::chrono::steady_clock::now() >= deadline)
      return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  return true;
}

bool CopyTo(const std::string& from, const std::string& to)
{
  return CopyFileA(from.c_str(), to.c_str(), FALSE) != FALSE;
}
