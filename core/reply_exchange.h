#pragma once

#include <cstdint>
#include <exception>
#include <functional>
#include <string>

#include "core/exchange_state.h"

class TNetSocket;

// The log lines that tell the update exchange from the detection exchange.
struct TExchangeTexts {
  const char* Name;              // in the lines of its exceptions: "setIP", "myIP"
  const char* DataLine;          // the data event's line
  const char* ErrorLine;         // failure (a): the data event came with an error
  const char* ConnectLine;       // the connect failed, or never completed
  std::uint8_t ConnectLevel;     // the level of ConnectLine
  const char* NoReplyLine;       // the request went out and was never answered
  const char* WithoutReplyLine;  // failure (b): nothing to read, or the session ended before the reply
  const char* ReadFailureLine;   // reading or handling the reply threw
};

// The request-and-reply exchange of one cycle over its TCP socket, the steps
// the update and the detection share: the tick's new session, collecting the
// reply, the end of the session, each failure counted once per attempt. What
// a reply means and what a failed update does besides are the data module's
// handlers, bound to the events.
class TReplyExchange {
public:
  TReplyExchange(TNetSocket& socket, const TExchangeTexts& texts, int& failureCount);

  // The tick's part: a new attempt, the last session closed, a TCP session
  // to address:port opened.
  void Start(const std::string& address, const char* port);
  // Connected: the reply is due from now on.
  void AwaitReply() { state_.AwaitReply(); }
  // The connect failed.
  void FailConnect() { Fail(texts_.ConnectLine, texts_.ConnectLevel); }
  // The data event: the reply is handled once it is whole; an error that
  // comes with the event (failure a) fails the attempt.
  void ReceiveReply(std::uint16_t errCode);
  // The close: what arrived is handled, or the attempt failed.
  void EndSession(std::uint16_t errCode);
  // A whole reply to OnReply, with the read failure around it.
  void ProcessReply(const std::string& reply);
  // One more on the cycle's failure counter, once per attempt.
  void CountFailure();

  // A whole reply arrived; an exception from it is a read failure.
  std::function<void(const std::string& reply)> OnReply;
  // The exchange found a failure of the attempt (a failed update may mean
  // its host is gone).
  std::function<void()> OnFailure;
  // Failure (b), after its line and its count.
  std::function<void()> OnNoReply;
  // Reading or handling the reply failed, after its lines and its count.
  std::function<void()> OnReadFailure;
  // The failure counter went up, whichever failure it was.
  std::function<void()> OnCounted;
  // The next tick found the last attempt's connect never completed, after
  // its line and its count.
  std::function<void()> OnConnectNeverCompleted;

private:
  // One failure of the attempt: its line (each line once however often the
  // attempt reports it), the count (once), then OnFailure.
  void Fail(const char* line, std::uint8_t level);
  void FailWithoutReply();
  void FailReading(const std::exception& e);

  TNetSocket& socket_;
  const TExchangeTexts texts_;
  int& failureCount_;
  TExchangeState state_;
  // TCP delivers a reply in as many pieces as it likes: collected here until
  // it is whole (core/reply_assembly.h).
  std::string pending_;
};
