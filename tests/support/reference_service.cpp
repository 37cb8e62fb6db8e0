#include "tests/support/reference_service.h"

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <stdexcept>

#include <windows.h>

#include "tests/support/message_pump.h"
#include "tests/support/test_paths.h"

namespace {

std::string ReadWholeFile(const std::string& path)
{
  std::ifstream in(path, std::ios::binary);
  std::stringstream content;
  content << in.rdbuf();
  return content.str();
}

}  // namespace

TReferenceService::TReferenceService()
{
  const char* dir = std::getenv("KORVALIND_REFSERVICE_DIR");
  if (dir == nullptr || *dir == '\0')
    throw std::runtime_error("KORVALIND_REFSERVICE_DIR is not set: the reference service fixture did not run");
  dir_ = HostPath(dir);
}

int TReferenceService::Generation() const
{
  const std::string ready = ReadWholeFile(dir_ + "\\ready");
  if (ready.empty())
    return -1;
  try {
    return static_cast<int>(JsonValue::Parse(ready)["generation"].AsNumber());
  } catch (const std::exception&) {
    return -1;  // caught between write and rename
  }
}

void TReferenceService::SetScenario(const std::string& json)
{
  const int before = Generation();
  const std::string temp = dir_ + "\\scenario.json.new";
  {
    std::ofstream out(temp, std::ios::binary | std::ios::trunc);
    out << json;
  }
  if (!MoveFileExA(temp.c_str(), (dir_ + "\\scenario.json").c_str(), MOVEFILE_REPLACE_EXISTING))
    throw std::runtime_error("cannot replace the reference service's scenario");
  if (!PumpMessagesUntil([&] { return Generation() > before; }, std::chrono::seconds(10)))
    throw std::runtime_error("the reference service did not take in the new scenario");
  const JsonValue ready = JsonValue::Parse(ReadWholeFile(dir_ + "\\ready"));
  if (!ready["scenario_error"].IsNull())
    throw std::runtime_error("scenario refused: " + ready["scenario_error"].AsString());
}

std::vector<JsonValue> TReferenceService::Records(const std::string& server) const
{
  std::vector<JsonValue> records;
  std::istringstream lines(ReadWholeFile(dir_ + "\\records.jsonl"));
  std::string line;
  while (std::getline(lines, line)) {
    if (line.empty())
      continue;
    try {
      JsonValue record = JsonValue::Parse(line);
      if (server.empty() || record["server"].AsString() == server)
        records.push_back(std::move(record));
    } catch (const std::exception&) {
      // a line still being written
    }
  }
  return records;
}

bool TReferenceService::WaitForRecords(const std::string& server, std::size_t count,
                                       std::chrono::milliseconds timeout) const
{
  return PumpMessagesUntil([&] { return Records(server).size() >= count; }, timeout);
}

std::string SuccessScenario(const std::string& fields)
{
  return R"({"update": {"default": {"mode": "success", "fields": )" + fields + R"(}}})";
}
