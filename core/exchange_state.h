#pragma once

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
    awaitingReply_ = false;
    failed_ = false;
  }
  // Connected: the reply is due from now on.
  void AwaitReply() { awaitingReply_ = true; }
  // The reply is in, or the client ends the session itself: a close that
  // follows is no failure.
  void Settle() { awaitingReply_ = false; }
  // What the end of the session means for the attempt: when the reply was
  // due, what arrived is the whole reply if the session closed in order; a
  // close with an error may have cut it, and with nothing arrived the
  // attempt failed (unless a failure was counted already).
  enum class TEnd { Nothing, WholeReply, Failure };
  TEnd SessionClosed(bool inOrder, bool somethingArrived)
  {
    if (!awaitingReply_)
      return TEnd::Nothing;
    awaitingReply_ = false;
    if (inOrder && somethingArrived)
      return TEnd::WholeReply;
    return failed_ ? TEnd::Nothing : TEnd::Failure;
  }
  // One more in counter for the attempt's first failure only.
  void CountFailure(int& counter)
  {
    if (!failed_)
      ++counter;
    failed_ = true;
  }

private:
  bool awaitingReply_ = false;
  bool failed_ = false;
};
