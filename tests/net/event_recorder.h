#pragma once

#include <algorithm>
#include <string>
#include <vector>

#include "net/net_socket.h"

inline std::string StateText(TSocketState from, TSocketState to)
{
  return "state " + std::to_string(from) + "->" + std::to_string(to);
}

// Events as short texts, in order.
struct TEventLog {
  std::vector<std::string> Log;

  // The log with only the first of each entry named: those that may come more
  // than once, and in between others (data in pieces, a write notification of
  // Winsock's own besides the posted one). A repeat of any other entry stays
  // visible.
  std::vector<std::string> Folded(const std::vector<std::string>& repeatable) const
  {
    std::vector<std::string> out;
    for (const auto& entry : Log) {
      const bool repeats = std::find(repeatable.begin(), repeatable.end(), entry) != repeatable.end();
      if (!repeats || std::find(out.begin(), out.end(), entry) == out.end())
        out.push_back(entry);
    }
    return out;
  }
  bool Has(const std::string& entry) const { return Count(entry) > 0; }
  int Count(const std::string& entry) const
  {
    int n = 0;
    for (const auto& e : Log)
      n += e == entry;
    return n;
  }
};

// A socket's state changes and session events.
struct TEventRecorder : TEventLog {
  void Attach(TNetSocket& s)
  {
    s.OnChangeState = [this](TObject*, TSocketState o, TSocketState n) { Log.push_back(StateText(o, n)); };
    s.OnSessionConnected = [this](TObject*, std::uint16_t e) { Log.push_back("connected " + std::to_string(e)); };
    s.OnSessionClosed = [this](TObject*, std::uint16_t e) { Log.push_back("closed " + std::to_string(e)); };
    s.OnDataSent = [this](TObject*, std::uint16_t e) { Log.push_back("sent " + std::to_string(e)); };
  }
};

// The SOCKS negotiation's events and the session's, and (with readData) what
// each OnDataAvailable read.
struct TSocksEvents : TEventLog {
  std::vector<std::string> Data;
  std::vector<int> DataCounts;  // RcvdCount at the start of each read

  void Attach(TNetSocket& s, bool readData = true)
  {
    s.OnSocksConnected = [this](TObject*, std::uint16_t e) { Log.push_back("socks-connected " + std::to_string(e)); };
    s.OnSocksAuthState = [this](TObject*, TSocksAuthState a) {
      static const char* const names[] = {"start", "success", "failure", "not-required"};
      Log.push_back(std::string("auth ") + names[a]);
    };
    s.OnSocksError = [this](TObject*, int e, const std::string& m) {
      Log.push_back("socks-error " + std::to_string(e) + " " + m);
    };
    s.OnSessionConnected = [this](TObject*, std::uint16_t e) { Log.push_back("connected " + std::to_string(e)); };
    s.OnSessionClosed = [this](TObject*, std::uint16_t e) { Log.push_back("closed " + std::to_string(e)); };
    if (!readData)
      return;
    s.OnDataAvailable = [this, &s](TObject*, std::uint16_t) {
      const int count = s.RcvdCount();
      std::string text(static_cast<std::size_t>(count > 0 ? count : 1024), '\0');
      const int got = s.ReceiveData(text.data(), static_cast<int>(text.size()));
      if (got <= 0)
        return;
      text.resize(static_cast<std::size_t>(got));
      Log.push_back("data " + text);
      Data.push_back(text);
      DataCounts.push_back(count);
    };
  }
  std::string AllData() const
  {
    std::string all;
    for (const auto& d : Data)
      all += d;
    return all;
  }
};
