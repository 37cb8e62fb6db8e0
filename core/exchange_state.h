#pragma once

#include <set>
#include <string>

// One request-and-reply attempt of the update or the detection cycle, from
// the tick that connects to the next tick. A failed attempt often reports
// itself more than once (the close, the error handler, the data handler, a
// read event handed over twice), yet it is one failure; and a session that
// ends before its reply came has failed even when no event says so.
class TExchangeState {
public:
  // The tick starts a new attempt; nothing of the last one carries over.
  void Begin()
  {
    phase_ = TPhase::Idle;
    failed_ = false;
    reported_.clear();
  }
  // The connection attempt is under way.
  void Connecting() { phase_ = TPhase::Connecting; }
  // Connected: the reply is due from now on.
  void AwaitReply() { phase_ = TPhase::AwaitingReply; }
  // The reply is in, or the client ends the session itself: a close that
  // follows is no failure.
  void Settle() { phase_ = TPhase::Idle; }
  // What the end of the session means for the attempt: when the reply was
  // due, what arrived is the whole reply if the session closed in order; a
  // close with an error may have cut it, and with nothing arrived the
  // attempt failed (unless a failure was counted already).
  enum class TEnd { Nothing, WholeReply, Failure };
  TEnd SessionClosed(bool inOrder, bool somethingArrived)
  {
    if (phase_ != TPhase::AwaitingReply)
      return TEnd::Nothing;
    phase_ = TPhase::Idle;
    if (inOrder && somethingArrived)
      return TEnd::WholeReply;
    return failed_ ? TEnd::Nothing : TEnd::Failure;
  }
  // What the next tick finds still pending of the attempt: a connect or a
  // reply that never came is a failure that no event ever reports.
  enum class TPending { Nothing, Connect, Reply };
  TPending Pending() const
  {
    if (failed_ || phase_ == TPhase::Idle)
      return TPending::Nothing;
    return phase_ == TPhase::Connecting ? TPending::Connect : TPending::Reply;
  }
  // One more in counter for the attempt's first failure only; true when
  // this call counted it.
  bool CountFailure(int& counter)
  {
    const bool first = !failed_;
    if (first)
      ++counter;
    failed_ = true;
    return first;
  }
  // True the first time the attempt reports this failure line: a failure
  // reported twice is logged once.
  bool FirstReport(const std::string& line) { return reported_.insert(line).second; }

private:
  enum class TPhase { Idle, Connecting, AwaitingReply };
  TPhase phase_ = TPhase::Idle;
  bool failed_ = false;
  std::set<std::string> reported_;
};
