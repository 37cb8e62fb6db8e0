#pragma once

#include <cstdint>
#include <string>

#include "net/custom_net_socket.h"
#include "net/socks_error_codes.h"
#include "net/socks_messages.h"

// The SOCKS 4, 4A and 5 client layer. With SocksServer set, Connect reaches
// the relay and negotiates a relayed TCP connection to Addr:Port before the
// application sees OnSessionConnected; the relay's replies never reach the
// application. With SocksServer empty every override passes straight down.
class TCustomSocksNetSocket : public TCustomNetSocket {
public:
  using TCustomNetSocket::TCustomNetSocket;

  const std::string& SocksLevel() const { return socksLevel_; }
  void AssignSocksLevel(const std::string& value);
  const std::string& SocksServer() const { return socksServer_; }
  void AssignSocksServer(const std::string& value);
  const std::string& SocksPort() const { return socksPort_; }
  void AssignSocksPort(const std::string& value);
  std::string SocksUsercode;
  std::string SocksPassword;
  TSocksAuthentication SocksAuthentication = socksNoAuthentication;

  TSessionConnected OnSocksConnected;
  TSocksErrorEvent OnSocksError;
  TSocksAuthStateEvent OnSocksAuthState;

  void Connect() override;
  void Listen() override;

  int ReadRcvdCount() override;
  int RawRecv(void* buffer, int bufferSize, int flags) override;
  bool NotifyDataAvailable(std::uint16_t ErrCode) override;
  void NotifySessionConnected(std::uint16_t ErrCode) override;
  void NotifySessionClosed(std::uint16_t ErrCode) override;

  void NotifySocksConnected(std::uint16_t ErrCode);
  void NotifySocksError(int error, const std::string& msg);
  void NotifySocksAuthState(TSocksAuthState authState);

protected:
  void ResetToDefaults() override;
  void BeginSession() override;
  int HeldReceivedBytes() const override { return socksLeftoverCount_ + TCustomNetSocket::HeldReceivedBytes(); }
  // The relay's bytes are still being consumed: nothing received is the
  // application's yet.
  bool Negotiating() const { return socksPhase_ != SocksPhaseData; }

private:
  enum : unsigned char { SocksPhaseData = 0, SocksPhaseMethods = 1, SocksPhaseAuth = 2, SocksPhaseRequest = 3 };
  static constexpr int kSocksReplyBufferSize = 128;
  static constexpr int kReplyLimit = kSocksReplyBufferSize - 1;  // a byte kept free

  // SOCKS 4 or 4A, told by the level's first character alone.
  bool IsSocks4() const { return socksLevel_[0] == '4'; }
  bool IsSocks4A() const { return socksLevel_ == "4A"; }

  void SendSocksCredentials();
  void SendCredentialsMessage();
  void SendSocksConnectRequest();
  void SendSocks4ConnectRequest();
  void FailSocksSession(int error, const std::string& msg);
  bool ParseMethodReply();
  bool ParseAuthReply();
  bool ParseSocks4Reply();
  bool ParseSocks5Reply();
  // The relay granted the connection: the application's session begins.
  bool StartRelayedSession();
  // Reads what the relay sent behind the bytes already collected, at most up
  // to limit bytes in all; false when the read failed.
  bool CollectReply(int limit);
  // Sends one message of the negotiation. A send that fails and leaves the
  // session open fails the negotiation, since the relay waits for the message.
  void SendNegotiationMessage(const TSocksMessage& message);
  // The text of a request that would not fit the request buffer, or empty.
  std::string OversizedRequest() const;
  std::string OversizedCredentials() const;
  // Fails the session when problem (one of the two texts above) is not
  // empty; true then.
  bool RefuseOversized(const std::string& problem);

  unsigned char socksPhase_ = SocksPhaseData;
  // Connect through the relay is opening its handle: that session negotiates.
  bool relayedOpenStarting_ = false;
  std::string socksServer_;
  std::string socksLevel_ = "5";
  std::string socksPort_;
  bool hasSocksPort_ = false;
  bool hasSocksServer_ = false;
  // The destination's port, resolved by Connect for the connect request.
  std::uint16_t destinationPort_ = 0;
  unsigned char socksMethodOffered_ = 0;
  unsigned char socksReply_[kSocksReplyBufferSize] = {};
  int socksReplyCount_ = 0;
  int socksLeftoverCount_ = 0;
  int socksLeftoverPos_ = 0;
};
