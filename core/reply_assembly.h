#pragma once

#include <string>

class TNetSocket;

// TCP hands a reply over in as many pieces as it likes. A reply is acted on
// once it is whole: it ends in a line feed, or the peer closed the connection,
// or this much arrived without a line end.
constexpr std::size_t MaxReplySize = 64 * 1024;

inline bool ReplyIsWhole(const std::string& pending)
{
  return !pending.empty() && (pending.back() == '\n' || pending.size() >= MaxReplySize);
}

// The reply as the handlers see it: the text ends at the first zero byte.
inline std::string TakeReplyText(std::string& pending)
{
  std::string reply = pending.substr(0, pending.find('\0'));
  pending.clear();
  return reply;
}

// Appends what waits on the socket to pending. False when nothing waited and
// nothing was pending: there is nothing to read. A read that fails drops what
// was pending, closes the connection and throws on.
bool CollectReplyBytes(TNetSocket& socket, std::string& pending);
