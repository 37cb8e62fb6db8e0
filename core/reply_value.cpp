#include "core/reply_value.h"

std::string GetReplyValue(const std::string& key, const std::string& reply)
{
  const std::string marker = key + ":";
  const std::size_t at = reply.find(marker);
  if (at == std::string::npos)
    return {};
  std::string value = reply.substr(at + marker.size());
  const std::size_t colon = value.find(':');
  if (colon != std::string::npos) {
    // The next item's key: cut back to the separator before it.
    value.erase(colon + 1);
    while (value.size() > 1 && !IsReplySeparator(value.back()))
      value.pop_back();
  }
  while (!value.empty() && IsReplySeparator(value.back()))
    value.pop_back();
  return value;
}
