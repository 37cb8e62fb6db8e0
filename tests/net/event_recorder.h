#pragma once

#include <string>
#include <vector>

#include "net/net_socket.h"

// Writes every event of a socket into a list of short texts, in order.
struct TEventRecorder {
  std::vector<std::string> Log;

  void Attach(TNetSocket& s)
  {
    s.OnChangeState = [this](TObject*, TSocketState o, TSocketState n) {
      Log.push_back("state " + std::to_string(o) + "->" + std::to_string(n));
    };
    s.OnSessionConnected = [this](TObject*, std::uint16_t e) { Log.push_back("connected " + std::to_string(e)); };
    s.OnSessionClosed = [this](TObject*, std::uint16_t e) { Log.push_back("closed " + std::to_string(e)); };
    s.OnDataSent = [this](TObject*, std::uint16_t e) { Log.push_back("sent " + std::to_string(e)); };
  }

  // The log with runs of the same entry folded into one.
  std::vector<std::string> Folded() const
  {
    std::vector<std::string> out;
    for (const auto& entry : Log)
      if (out.empty() || out.back() != entry)
        out.push_back(entry);
    return out;
  }

  bool Has(const std::string& entry) const
  {
    for (const auto& e : Log)
      if (e == entry)
        return true;
    return false;
  }
  int Count(const std::string& entry) const
  {
    int n = 0;
    for (const auto& e : Log)
      n += e == entry;
    return n;
  }
};
