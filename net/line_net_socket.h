#pragma once

#include <string>

#include "net/socks_net_socket.h"

// The line-mode layer. Its properties are stored; delivery line by line is
// not built yet, so data reaches OnDataAvailable as it arrives.
class TCustomLineNetSocket : public TCustomSocksNetSocket {
public:
  explicit TCustomLineNetSocket(TComponent* Owner);

  bool LineMode() const { return lineMode_; }
  virtual void AssignLineMode(bool Value) { lineMode_ = Value; }
  int LineLimit = 65536;
  std::string LineEnd = "\r\n";
  bool LineEcho = false;
  bool LineEdit = false;
  TLineLimitEvent OnLineLimitExceeded;

  virtual void NotifyLineLimitExceeded(int RcvdLength, bool& ClearData);
  // The text, then LineEnd; returns the text's length plus 2, 0 for an empty
  // text (which sends nothing).
  virtual int SendTextLine(const std::string& Text);

protected:
  bool lineMode_ = false;
};
