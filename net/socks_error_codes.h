#pragma once

// The codes a failed SOCKS negotiation reports: OnSocksError, then
// OnSessionConnected and OnSessionClosed, carry them. A read error during the
// negotiation is reported with its own Winsock code instead.
enum TSocksError : int {
  // A method reply on a SOCKS 4 socket; a user/password reply longer than 2 bytes.
  SocksLogicError = 20001,
  // A reply whose version byte is not the one expected.
  SocksVersionError = 20002,
  // The relay picked a method that was not offered.
  SocksMethodNotAcceptable = 20003,
  // SOCKS 5 reply codes 1 to 8 in order.
  SocksGeneralFailure = 20004,
  SocksConnectionNotAllowed = 20005,
  SocksNetworkUnreachable = 20006,
  SocksHostUnreachable = 20007,
  SocksConnectionRefused = 20008,  // also SOCKS 4 reply code 92
  SocksTtlExpired = 20009,
  SocksCommandNotSupported = 20010,
  SocksAddressTypeNotSupported = 20011,  // also a success reply with an unknown address type
  // A reply code that has no meaning assigned.
  SocksUnassignedError = 20012,
  // A phase out of range, and anything too long for the negotiation's
  // buffers or one-byte length fields.
  SocksInternalError = 20013,
  // 20014 is not used.
  // The relay refused the user and password (SOCKS 5) or the user (SOCKS 4).
  SocksAuthenticationFailed = 20015,
  // SOCKS 4 reply code 91.
  SocksRequestRejected = 20016,
  // The SOCKS 4 destination cannot be resolved; the session closes without
  // OnSessionConnected.
  SocksDestinationUnresolved = 20017,
};
