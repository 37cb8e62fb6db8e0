#include "core/exception_log.h"
#include "core/korvalind_c.h"
#include "core/log.h"
#include "core/reply_assembly.h"
#include "net/net_socket.h"

void TKorvalindC::StartExchange(const TExchangeKind& kind, const std::string& address, const char* port)
{
  TNetSocket& socket = *(this->*kind.Socket);
  TExchangeState& exchange = this->*kind.State;
  const std::string alert = std::string("Alert!   ") + kind.Name;
  auto fail = [&](const std::string& placeLine, const std::exception& e, bool resolve) {
    LogCaughtException(placeLine, e);
    if (resolve)
      RequestEndpointResolution();
    exchange.CountFailure(*kind.FailureCount);
  };
  try {
    // A host that takes the request and never answers, or drops connection
    // attempts, reports nothing; counted here, it moves the update on to
    // another host as a refusing one does.
    switch (exchange.Pending()) {
    case TExchangeState::TPending::Connect: FailAttempt(kind, kind.ConnectLine, kind.ConnectLevel); break;
    case TExchangeState::TPending::Reply: FailAttempt(kind, kind.NoReplyLine, 40); break;
    case TExchangeState::TPending::Nothing: break;
    }
    // A reply still in pieces belongs to the session closed here: closing
    // must not make it look whole, nor count as the far side's doing.
    (this->*kind.Pending).clear();
    exchange.Begin();
    if (socket.State() != wsClosed) {
      try {
        socket.CloseConnection();
      } catch (const std::exception& e) {
        fail(alert + " socket closing Exception", e, kind.ResolveAfterFailure);
      }
    }
    try {
      socket.AssignProto("tcp");
      socket.AssignAddr(address);
      socket.AssignPort(port);
      exchange.Connecting();
      socket.Connect();
    } catch (const std::exception& e) {
      fail(alert + " Exception 2", e, kind.ResolveAfterFailure);
    }
  } catch (const std::exception& e) {
    fail(alert + " Exception", e, false);
  }
}

void TKorvalindC::ReceiveReply(const TExchangeKind& kind, std::uint16_t errCode)
{
  LogMessage(kind.DataLine, 40);
  if (errCode != 0) {
    FailAttempt(kind, kind.ErrorLine, 40);
    return;
  }
  TNetSocket& socket = *(this->*kind.Socket);
  std::string& pending = this->*kind.Pending;
  std::string reply;
  try {
    if (!CollectReplyBytes(socket, pending)) {
      (this->*kind.FailWithoutReply)();
      return;
    }
    if (!ReplyIsWhole(pending))
      return;  // the rest is still on its way
    reply = TakeReplyText(pending);
    (this->*kind.State).Settle();
    socket.CloseConnection();
  } catch (const std::exception& e) {
    (this->*kind.FailReading)(e);
    return;
  }
  ProcessReply(kind, reply);
}

void TKorvalindC::EndReplySession(const TExchangeKind& kind, std::uint16_t errCode)
{
  std::string& pending = this->*kind.Pending;
  // A reply cut by an error ("SI:6" of "SI:600") is never applied.
  const auto end = (this->*kind.State).SessionClosed(errCode == 0, !pending.empty());
  if (end == TExchangeState::TEnd::WholeReply) {
    ProcessReply(kind, TakeReplyText(pending));
    return;
  }
  pending.clear();
  if (end == TExchangeState::TEnd::Failure)
    (this->*kind.FailWithoutReply)();
}

void TKorvalindC::ProcessReply(const TExchangeKind& kind, const std::string& reply)
{
  try {
    (this->*kind.Handle)(reply);
  } catch (const std::exception& e) {
    (this->*kind.FailReading)(e);
  }
}

void TKorvalindC::FailAttempt(const TExchangeKind& kind, const char* line, int level)
{
  TExchangeState& exchange = this->*kind.State;
  if (exchange.FirstReport(line))
    LogMessage(line, level);
  exchange.CountFailure(*kind.FailureCount);
  if (kind.ResolveAfterFailure)
    RequestEndpointResolution();
}
