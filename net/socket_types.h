#pragma once

#include <cstdint>
#include <functional>
#include <initializer_list>
#include <string>

#include "platform/component.h"
#include "platform/exception.h"

// Ordinals are the stored values.
enum TSocketState {
  wsInvalidState = 0,
  wsOpened = 1,
  wsBound = 2,
  wsConnecting = 3,
  wsSocksConnected = 4,
  wsConnected = 5,
  wsAccepting = 6,
  wsListening = 7,
  wsClosed = 8
};

enum TSocketSendFlags { wsSendNormal = 0, wsSendUrgent = 1 };

enum TSocketLingerOnOff { wsLingerOff = 0, wsLingerOn = 1, wsLingerNoSet = 2 };

enum TNetSocketOption { wsoNoReceiveLoop = 0, wsoTcpNoDelay = 1, wsoSIO_RCVALL = 2 };

// A set of TNetSocketOption in one byte, bit n for value n.
struct TNetSocketOptions {
  std::uint8_t Bits = 0;

  TNetSocketOptions() = default;
  TNetSocketOptions(std::initializer_list<TNetSocketOption> options)
  {
    for (auto option : options)
      Include(option);
  }
  bool Contains(TNetSocketOption option) const { return (Bits & (1u << option)) != 0; }
  TNetSocketOptions& Include(TNetSocketOption option)
  {
    Bits = static_cast<std::uint8_t>(Bits | (1u << option));
    return *this;
  }
  TNetSocketOptions& Exclude(TNetSocketOption option)
  {
    Bits = static_cast<std::uint8_t>(Bits & ~(1u << option));
    return *this;
  }
  TNetSocketOptions Without(TNetSocketOption option) const
  {
    TNetSocketOptions copy = *this;
    return copy.Exclude(option);
  }
  bool operator==(const TNetSocketOptions&) const = default;
};

enum TSocksAuthentication { socksNoAuthentication = 0, socksAuthenticateUsercode = 1 };

enum TSocksAuthState { socksAuthStart = 0, socksAuthSuccess = 1, socksAuthFailure = 2, socksAuthNotRequired = 3 };

// Event types; Sender is always the socket. An ErrCode is the Winsock error
// that came with the notification, 0 for success.
using TDataAvailable = std::function<void(TObject* Sender, std::uint16_t ErrCode)>;
using TDataSent = std::function<void(TObject* Sender, std::uint16_t ErrCode)>;
using TSendData = std::function<void(TObject* Sender, int BytesSent)>;
using TSessionClosed = std::function<void(TObject* Sender, std::uint16_t ErrCode)>;
using TSessionAvailable = std::function<void(TObject* Sender, std::uint16_t ErrCode)>;
using TSessionConnected = std::function<void(TObject* Sender, std::uint16_t ErrCode)>;
using TDnsLookupDone = std::function<void(TObject* Sender, std::uint16_t ErrCode)>;
using TChangeState = std::function<void(TObject* Sender, TSocketState OldState, TSocketState NewState)>;
using TBgExceptionEvent = std::function<void(TObject* Sender, Exception& E, bool& CanClose)>;
using TSocksErrorEvent = std::function<void(TObject* Sender, int Error, const std::string& Msg)>;
using TSocksAuthStateEvent = std::function<void(TObject* Sender, TSocksAuthState AuthState)>;
using TLineLimitEvent = std::function<void(TObject* Sender, int RcvdLength, bool& ClearData)>;
