#include "core/reply_exchange.h"

#include "core/exception_log.h"
#include "core/log.h"
#include "core/reply_assembly.h"
#include "net/net_socket.h"

namespace {

void Notify(const std::function<void()>& event)
{
  if (event)
    event();
}

}  // namespace

TReplyExchange::TReplyExchange(TNetSocket& socket, const TExchangeTexts& texts, int& failureCount)
    : socket_(socket), texts_(texts), failureCount_(failureCount)
{}

void TReplyExchange::Start(const std::string& address, const char* port)
{
  const std::string alert = std::string("Alert!   ") + texts_.Name;
  auto fail = [&](const std::string& placeLine, const std::exception& e, bool notify) {
    LogCaughtException(placeLine, e);
    if (notify)
      Notify(OnFailure);
    CountFailure();
  };
  try {
    // A host that takes the request and never answers, or drops connection
    // attempts, reports nothing; counted here, it moves the update on to
    // another host as a refusing one does.
    switch (state_.Pending()) {
    case TExchangeState::TPending::Connect:
      FailConnect();
      Notify(OnConnectNeverCompleted);
      break;
    case TExchangeState::TPending::Reply: Fail(texts_.NoReplyLine, LogDebug); break;
    case TExchangeState::TPending::Nothing: break;
    }
    // A reply still in pieces belongs to the session closed here: closing
    // must not make it look whole, nor count as the far side's doing.
    pending_.clear();
    state_.Begin();
    if (socket_.State() != wsClosed) {
      try {
        socket_.CloseConnection();
      } catch (const std::exception& e) {
        fail(alert + " socket closing Exception", e, true);
      }
    }
    try {
      socket_.AssignProto("tcp");
      socket_.AssignAddr(address);
      socket_.AssignPort(port);
      state_.Connecting();
      socket_.Connect();
    } catch (const std::exception& e) {
      fail(alert + " Exception 2", e, true);
    }
  } catch (const std::exception& e) {
    fail(alert + " Exception", e, false);
  }
}

void TReplyExchange::ReceiveReply(std::uint16_t errCode)
{
  LogMessage(texts_.DataLine, LogDebug);
  if (errCode != 0) {
    Fail(texts_.ErrorLine, LogDebug);
    return;
  }
  std::string reply;
  try {
    if (!CollectReplyBytes(socket_, pending_)) {
      FailWithoutReply();
      return;
    }
    if (!ReplyIsWhole(pending_))
      return;  // the rest is still on its way
    reply = TakeReplyText(pending_);
    state_.Settle();
    socket_.CloseConnection();
  } catch (const std::exception& e) {
    FailReading(e);
    return;
  }
  ProcessReply(reply);
}

void TReplyExchange::EndSession(std::uint16_t errCode)
{
  // A reply cut by an error ("SI:6" of "SI:600") is never applied.
  const auto end = state_.SessionClosed(errCode == 0, !pending_.empty());
  if (end == TExchangeState::TEnd::WholeReply) {
    ProcessReply(TakeReplyText(pending_));
    return;
  }
  pending_.clear();
  if (end == TExchangeState::TEnd::Failure)
    FailWithoutReply();
}

void TReplyExchange::ProcessReply(const std::string& reply)
{
  try {
    if (OnReply)
      OnReply(reply);
  } catch (const std::exception& e) {
    FailReading(e);
  }
}

void TReplyExchange::CountFailure()
{
  if (state_.CountFailure(failureCount_))
    Notify(OnCounted);
}

void TReplyExchange::Fail(const char* line, std::uint8_t level)
{
  if (state_.FirstReport(line))
    LogMessage(line, level);
  CountFailure();
  Notify(OnFailure);
}

void TReplyExchange::FailWithoutReply()
{
  Fail(texts_.WithoutReplyLine, LogDebug);
  Notify(OnNoReply);
}

void TReplyExchange::FailReading(const std::exception& e)
{
  LogCaughtException(texts_.ReadFailureLine, e);
  CountFailure();
  Notify(OnReadFailure);
}
