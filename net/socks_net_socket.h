#pragma once

#include <string>

#include "net/custom_net_socket.h"

// The SOCKS 4, 4A and 5 client layer. Its properties are stored and checked;
// the negotiation itself is not built yet, so a relayed Connect is refused
// rather than silently made directly.
class TCustomSocksNetSocket : public TCustomNetSocket {
public:
  using TCustomNetSocket::TCustomNetSocket;

  const std::string& SocksLevel() const { return socksLevel_; }
  void AssignSocksLevel(const std::string& Value);
  const std::string& SocksServer() const { return socksServer_; }
  virtual void AssignSocksServer(const std::string& Value);
  const std::string& SocksPort() const { return socksPort_; }
  virtual void AssignSocksPort(const std::string& Value);
  std::string SocksUsercode;
  std::string SocksPassword;
  TSocksAuthentication SocksAuthentication = socksNoAuthentication;

  TSessionConnected OnSocksConnected;
  TSocksErrorEvent OnSocksError;
  TSocksAuthStateEvent OnSocksAuthState;

  void Connect() override;
  void Listen() override;

  virtual void NotifySocksConnected(std::uint16_t ErrCode);
  virtual void NotifySocksError(int Error, const std::string& Msg);
  void NotifySocksAuthState(TSocksAuthState AuthState);

protected:
  void ResetToDefaults() override;

  enum : unsigned char { SocksPhaseData = 0, SocksPhaseMethods = 1, SocksPhaseAuth = 2, SocksPhaseRequest = 3 };
  unsigned char socksPhase_ = SocksPhaseData;
  std::string socksServer_;
  std::string socksLevel_ = "5";
  std::string socksPort_;
  bool hasSocksPort_ = false;
  bool hasSocksServer_ = false;
};
