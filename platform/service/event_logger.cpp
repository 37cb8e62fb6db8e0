#include "platform/service/event_logger.h"

namespace {

std::mutex& SinkMutex()
{
  static std::mutex mutex;
  return mutex;
}

TEventLogger::TEventSink& Sink()
{
  static TEventLogger::TEventSink sink;
  return sink;
}

}  // namespace

TEventLogger::TEventLogger(std::string name) : name_(std::move(name)) {}

TEventLogger::~TEventLogger()
{
  if (handle_ != nullptr)
    DeregisterEventSource(handle_);
}

void TEventLogger::SetSink(TEventSink sink)
{
  std::lock_guard<std::mutex> lock(SinkMutex());
  Sink() = std::move(sink);
}

void TEventLogger::LogMessage(const std::string& message, WORD eventType, WORD category, DWORD id)
{
  {
    std::lock_guard<std::mutex> lock(SinkMutex());
    if (Sink()) {
      try {
        Sink()(name_, message, eventType, category, id);
      } catch (...) {
        // as with the system's log: a failing log costs the message only
      }
      return;
    }
  }
  std::lock_guard<std::mutex> lock(mutex_);
  if (handle_ == nullptr)
    handle_ = RegisterEventSourceA(nullptr, name_.c_str());
  if (handle_ == nullptr)
    return;
  const char* strings[] = {message.c_str()};
  ReportEventA(handle_, eventType, category, id, nullptr, 1, 0, strings, nullptr);
}
