#pragma once

#include <chrono>
#include <string>
#include <vector>

#include "tests/support/json_value.h"

// The test side of tools/reference_service, which a CTest fixture starts in
// the sandbox (folder in KORVALIND_REFSERVICE_DIR). Tests steer it through its
// scenario file and read what it received from its records.
class TReferenceService {
public:
  TReferenceService();

  // Replaces the scenario and waits until the service has taken it in.
  void SetScenario(const std::string& json);

  std::vector<JsonValue> Records(const std::string& server = "") const;
  // Pumps messages until `count` records of the server exist.
  bool WaitForRecords(const std::string& server, std::size_t count, std::chrono::milliseconds timeout) const;

private:
  int Generation() const;
  std::string dir_;
};

// The usual success scenario for an account, with extra reply fields.
std::string SuccessScenario(const std::string& fields = "[]");
