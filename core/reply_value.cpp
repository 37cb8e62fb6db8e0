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
    // The next item's key: cut back to the blank (or line feed, tab, any
    // character of code 32 or less) before it.
    value.erase(colon + 1);
    while (value.size() > 1 && static_cast<unsigned char>(value.back()) > 32)
      value.pop_back();
  }
  while (!value.empty() && static_cast<unsigned char>(value.back()) <= 32)
    value.pop_back();
  return value;
}
