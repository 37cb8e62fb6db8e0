#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <string>
#include <vector>

#include "net/net_socket.h"
#include "tests/net/net_test_peers.h"
#include "tests/support/message_pump.h"

using namespace std::chrono_literals;

namespace {

// Shows the bytes the line layer holds.
class TLineProbe : public TNetSocket {
public:
  using TNetSocket::TNetSocket;
  int HeldCount() const { return static_cast<int>(HeldBytes().size()); }
  std::string Held() const { return std::string(HeldBytes()); }
};

// One OnDataAvailable call: RcvdCount at its start and what ReceiveData gave.
struct TOffer {
  int Count;
  std::string Bytes;
  bool operator==(const TOffer&) const = default;
};

std::ostream& operator<<(std::ostream& out, const TOffer& offer)
{
  return out << "{" << offer.Count << ", \"" << offer.Bytes << "\"}";
}

// Reads what RcvdCount announces (at most Chunk bytes a call).
void ReadOffers(TLineProbe& s, std::vector<TOffer>& offers, int chunk = 1 << 20)
{
  s.OnDataAvailable = [&s, &offers, chunk](TObject*, std::uint16_t) {
    const int count = s.RcvdCount();
    const int want = std::min(count > 0 ? count : 1024, chunk);
    std::string text(static_cast<std::size_t>(want), '\0');
    const int got = s.ReceiveData(text.data(), want);
    text.resize(got > 0 ? static_cast<std::size_t>(got) : 0);
    offers.push_back({count, text});
  };
}

// Waits (on the relay's thread) until the test thread has published a value.
bool WaitFor(const std::atomic<int>& value, int wanted)
{
  for (int i = 0; i < 4000; ++i) {
    if (value.load() >= wanted)
      return true;
    Sleep(5);
  }
  return false;
}

}  // namespace

TEST(LineMode, ArrivalsAreOfferedLineByLine)
{
  const struct {
    const char* name;
    std::string lineEnd;
    std::vector<std::string> pieces;  // each sent once the bytes before it are held
    int chunk;                        // what the handler reads at most per call
    std::vector<TOffer> offers;
    std::string held;
  } cases[] = {
      {"two lines in one read", "\r\n", {"abc\r\ndef\r\n"}, 1 << 20, {{5, "abc\r\n"}, {5, "def\r\n"}}, ""},
      {"handler reading two bytes a call", "\r\n", {"abc\r\nde"}, 2, {{5, "ab"}, {3, "c\r"}, {1, "\n"}}, "de"},
      {"line feed alone ends a line", "\n", {"a\nb\r\nc"}, 1 << 20, {{2, "a\n"}, {3, "b\r\n"}}, "c"},
      {"terminator split across two reads", "\r\n", {"abc\r", "\nx"}, 1 << 20, {{5, "abc\r\n"}}, "x"},
      // An empty terminator switches line handling off: bytes come as they arrive.
      {"empty terminator", "", {"abc\r\ndef"}, 1 << 20, {{8, "abc\r\ndef"}}, ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    std::atomic<int> held{0};
    TPeerServer peer([&](SOCKET sock) {
      int sent = 0;
      for (const auto& piece : c.pieces) {
        WaitFor(held, sent);
        SendAll(sock, piece);
        sent += static_cast<int>(piece.size());
      }
      ReadAll(sock);
    });
    TLineProbe s(nullptr);
    s.LineEnd = c.lineEnd;
    s.AssignLineMode(true);
    std::vector<TOffer> offers;
    ReadOffers(s, offers, c.chunk);
    ConnectTcp(s, peer.Port());
    ASSERT_TRUE(PumpMessagesUntil(
        [&] {
          held = s.HeldCount();
          return offers.size() >= c.offers.size() && s.Held() == c.held;
        },
        10s));
    PumpMessagesFor(100ms);
    EXPECT_EQ(offers, c.offers);
    EXPECT_EQ(s.Held(), c.held);
    s.CloseConnection();
  }
}

TEST(LineMode, WithoutAHandlerCompleteLinesAreDroppedAndThePartialStays)
{
  std::atomic<int> held{0};
  TPeerServer peer([&](SOCKET c) {
    SendAll(c, "abc\r\ndef\r\nxy");
    WaitFor(held, 100);
    SendAll(c, "z\r\n");
    ReadAll(c);
  });
  TLineProbe s(nullptr);
  s.AssignLineMode(true);
  ConnectTcp(s, peer.Port());
  ASSERT_TRUE(PumpMessagesUntil([&] { return s.Held() == "xy"; }, 10s));
  EXPECT_EQ(s.ReadCount(), 12);  // taken in by the line layer, not drained as unclaimed data
  std::vector<TOffer> offers;
  ReadOffers(s, offers);
  held = 100;
  ASSERT_TRUE(PumpMessagesUntil([&] { return !offers.empty(); }, 10s));
  EXPECT_EQ(offers, (std::vector<TOffer>{{5, "xyz\r\n"}}));
  s.CloseConnection();
}

TEST(LineMode, LineLimitDropsTheWholeLineOrKeepsItWhenTheHandlerSaysSo)
{
  // Each piece goes out once the one before it has been taken in. Dropped,
  // the rest of the overlong line up to its terminator goes too, so padding a
  // line cannot make what follows it a line of its own.
  const struct {
    const char* name;
    bool clear;
    std::vector<std::string> pieces;
    std::vector<std::string> limits;
    std::vector<TOffer> offers;
  } cases[] = {
      {"ClearData left true",
       true,
       {std::string(150, 'a'), std::string(50, 'b'), "\r\nnext\r\n"},
       {"150"},
       {{6, "next\r\n"}}},
      {"terminator split where the bytes were dropped",
       true,
       {std::string(149, 'a') + "\r", "\nnext\r\n"},
       {"150"},
       {{6, "next\r\n"}}},
      // Asked again at the arrival that brought no line end.
      {"ClearData set false",
       false,
       {std::string(150, 'a'), std::string(50, 'b'), "\r\nnext\r\n"},
       {"150", "200"},
       {{202, std::string(150, 'a') + std::string(50, 'b') + "\r\n"}, {6, "next\r\n"}}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    int total = 0;
    for (const auto& piece : c.pieces)
      total += static_cast<int>(piece.size());
    std::atomic<int> taken{0};
    TPeerServer peer([&](SOCKET sock) {
      int sent = 0;
      for (const auto& piece : c.pieces) {
        WaitFor(taken, sent);
        SendAll(sock, piece);
        sent += static_cast<int>(piece.size());
      }
      ReadAll(sock);
    });
    TLineProbe s(nullptr);
    s.LineLimit = 100;
    s.AssignLineMode(true);
    std::vector<TOffer> offers;
    ReadOffers(s, offers);
    std::vector<std::string> limits;
    s.OnLineLimitExceeded = [&](TObject*, int length, bool& clearData) {
      EXPECT_TRUE(clearData);
      EXPECT_EQ(length, s.HeldCount());
      limits.push_back(std::to_string(length));
      clearData = c.clear;
    };
    ConnectTcp(s, peer.Port());
    ASSERT_TRUE(PumpMessagesUntil(
        [&] {
          taken = s.ReadCount();
          return offers.size() >= c.offers.size() && taken >= total;
        },
        10s));
    PumpMessagesFor(100ms);
    EXPECT_EQ(limits, c.limits);
    EXPECT_EQ(offers, c.offers);
    EXPECT_EQ(s.ReadCount(), total);  // each byte once, however often it was handed on
    s.CloseConnection();
  }
}

TEST(LineMode, DefaultLimitIsExceededPastSixtyFourKilobytes)
{
  const std::string data(70000, 'q');
  TPeerServer peer([&](SOCKET c) {
    SendAll(c, data);
    ReadAll(c);
  });
  TLineProbe s(nullptr);
  s.AssignLineMode(true);
  std::vector<int> limits;
  s.OnLineLimitExceeded = [&](TObject*, int length, bool&) { limits.push_back(length); };
  ConnectTcp(s, peer.Port());
  int total = 0;
  ASSERT_TRUE(PumpMessagesUntil(
      [&] {
        total = s.ReadCount();
        return total == 70000;
      },
      10s));
  ASSERT_EQ(limits.size(), 1u);
  EXPECT_GT(limits[0], 65536);
  EXPECT_EQ(s.HeldCount(), 70000 - limits[0]);
  s.CloseConnection();
}

TEST(LineMode, LastLineWithoutTerminatorComesBeforeTheClose)
{
  // The close is reported also when the handler fails on that last line; its
  // exception then goes to the background handling.
  for (const bool throws : {false, true}) {
    SCOPED_TRACE(throws ? "handler throws on the last line" : "handler reads");
    TPeerServer peer([](SOCKET c) { SendAll(c, "one\r\nbye"); });
    TLineProbe s(nullptr);
    s.AssignLineMode(true);
    std::vector<std::string> log;
    s.OnDataAvailable = [&](TObject*, std::uint16_t) {
      const int count = s.RcvdCount();
      std::string text(static_cast<std::size_t>(count), '\0');
      s.ReceiveData(text.data(), count);
      log.push_back(std::to_string(count) + " " + text);
      if (throws && text == "bye")
        throw ESocketException("boom");
    };
    s.OnSessionClosed = [&](TObject*, std::uint16_t e) { log.push_back("closed " + std::to_string(e)); };
    s.OnBgException = [&](TObject*, Exception& e, bool&) { log.push_back("bg " + e.Message()); };
    ConnectTcp(s, peer.Port());
    ASSERT_TRUE(PumpMessagesUntil([&] { return s.State() == wsClosed; }, 10s));
    std::vector<std::string> expected = {"5 one\r\n", "3 bye", "closed 0"};
    if (throws)
      expected.push_back("bg boom");
    EXPECT_EQ(log, expected);
    EXPECT_TRUE(s.LineMode());  // closing leaves the line settings alone
  }
}

TEST(LineMode, AnAdoptedConnectionStartsWithNothingHeld)
{
  // Dup closes the old session without a close notification, which would
  // have released the bytes it held.
  TPeerServer stale(SendsThenReads("stale"));
  TPeerServer fresh(SendsThenReads("fresh\r\n"));
  TLineProbe s(nullptr);
  s.AssignLineMode(true);
  std::vector<TOffer> offers;
  ReadOffers(s, offers);
  ConnectTcp(s, stale.Port());
  ASSERT_TRUE(PumpMessagesUntil([&] { return s.Held() == "stale"; }, 10s));
  const SOCKET raw = RawConnection(fresh.Port());
  ASSERT_NE(raw, INVALID_SOCKET);
  s.Dup(raw);
  ASSERT_TRUE(PumpMessagesUntil([&] { return !offers.empty(); }, 10s));
  EXPECT_EQ(offers, (std::vector<TOffer>{{7, "fresh\r\n"}}));
  s.CloseConnection();
}

TEST(LineMode, HandlerThatClosesAfterItsLineGetsOnlyWhatFollows)
{
  TPeerServer peer([](SOCKET c) {
    SendAll(c, "abc\r\nrest");
    ReadAll(c);
  });
  TLineProbe s(nullptr);
  s.AssignLineMode(true);
  std::vector<std::string> log;
  s.OnDataAvailable = [&](TObject*, std::uint16_t) {
    log.push_back(s.ReceiveText());
    if (log.size() == 1)
      s.CloseConnection();
  };
  s.OnSessionClosed = [&](TObject*, std::uint16_t e) { log.push_back("closed " + std::to_string(e)); };
  ConnectTcp(s, peer.Port());
  ASSERT_TRUE(PumpMessagesUntil([&] { return s.State() == wsClosed; }, 10s));
  PumpMessagesFor(100ms);
  EXPECT_EQ(log, (std::vector<std::string>{"abc\r\n", "rest", "closed 0"}));
}

TEST(LineMode, EditingAppliesBackspaceAndTabAndEchoesExactly)
{
  struct Case {
    const char* name;
    bool edit;
    std::vector<std::string> pieces;  // sent one after the other once the previous is held
    std::string line;
    std::string echo;
  };
  const std::vector<Case> cases = {
      {"backspace", true, {"ab\bc\r\n"}, "ac\r\n", "ab\b \bc\r\n"},
      {"tab at line start", true, {"\tx\r\n"}, "        x\r\n", "        x\r\n"},
      {"tab after three letters", true, {"abc\tx\r\n"}, "abc     x\r\n", "abc     x\r\n"},
      {"backspace at start", true, {"\bq\r\n"}, "q\r\n", "q\r\n"},
      {"backspace into an earlier read", true, {"ab", "\b\bz\r\n"}, "z\r\n", "ab\b \b\b \bz\r\n"},
      {"echo without editing", false, {"a\bb\tc\r\n"}, "a\bb\tc\r\n", "a\bb\tc\r\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    std::atomic<int> held{0};
    std::string echoed;
    std::atomic<bool> echoDone{false};
    TPeerServer peer([&](SOCKET sock) {
      int sent = 0;
      for (const auto& piece : c.pieces) {
        SendAll(sock, piece);
        sent += static_cast<int>(piece.size());
        if (&piece != &c.pieces.back())
          WaitFor(held, sent);
      }
      echoed = ReadAll(sock, c.echo.size());
      echoDone = true;
      ReadAll(sock);
    });
    TLineProbe s(nullptr);
    s.AssignLineMode(true);
    s.LineEdit = c.edit;
    s.LineEcho = true;
    std::vector<TOffer> offers;
    ReadOffers(s, offers);
    ConnectTcp(s, peer.Port());
    ASSERT_TRUE(PumpMessagesUntil(
        [&] {
          held = s.HeldCount();
          return !offers.empty() && echoDone.load();
        },
        10s));
    EXPECT_EQ(offers, (std::vector<TOffer>{{static_cast<int>(c.line.size()), c.line}}));
    EXPECT_EQ(echoed, c.echo);
    s.CloseConnection();
  }
}

TEST(LineMode, TurningLineModeOffMidLineOffersTheRestInNonLineMode)
{
  for (const bool readAtOnce : {false, true}) {
    SCOPED_TRACE(readAtOnce ? "handler reads on at once" : "handler reads at the next call");
    TPeerServer peer([](SOCKET c) {
      SendAll(c, "abc\r\nde");
      ReadAll(c);
    });
    TLineProbe s(nullptr);
    s.AssignLineMode(true);
    std::vector<std::string> got;
    s.OnDataAvailable = [&](TObject*, std::uint16_t) {
      if (s.LineMode()) {
        EXPECT_EQ(s.RcvdCount(), 5);
        char two[2];
        ASSERT_EQ(s.ReceiveData(two, 2), 2);
        got.emplace_back(two, 2);
        s.AssignLineMode(false);
        if (!readAtOnce)
          return;
      }
      got.push_back(s.ReceiveText());
    };
    ConnectTcp(s, peer.Port());
    ASSERT_TRUE(PumpMessagesUntil([&] { return got.size() >= 2; }, 10s));
    PumpMessagesFor(100ms);
    EXPECT_EQ(got, (std::vector<std::string>{"ab", "c\r\nde"}));
    EXPECT_EQ(s.HeldCount(), 0);
    s.CloseConnection();
  }
}

TEST(LineMode, TurningLineModeOnFromOutsideOffersTheHeldLines)
{
  TPeerServer peer([](SOCKET c) {
    SendAll(c, "x\r\nabc\r\ndef\r\ng");
    ReadAll(c);
  });
  TLineProbe s(nullptr);
  s.AssignLineMode(true);
  std::vector<TOffer> offers;
  // Takes its first line, switches line mode off and reads nothing more.
  s.OnDataAvailable = [&](TObject*, std::uint16_t) {
    if (!s.LineMode())
      return;
    const int count = s.RcvdCount();
    std::string text(static_cast<std::size_t>(count), '\0');
    s.ReceiveData(text.data(), count);
    offers.push_back({count, text});
    if (offers.size() == 1)
      s.AssignLineMode(false);
  };
  ConnectTcp(s, peer.Port());
  ASSERT_TRUE(PumpMessagesUntil([&] { return s.Held() == "abc\r\ndef\r\ng"; }, 10s));
  PumpMessagesFor(200ms);
  EXPECT_EQ(s.Held(), "abc\r\ndef\r\ng");
  s.AssignLineMode(true);
  EXPECT_EQ(offers.size(), 1u);  // nothing before the message is handled
  ASSERT_TRUE(PumpMessagesUntil([&] { return offers.size() >= 3; }, 10s));
  EXPECT_EQ(offers, (std::vector<TOffer>{{3, "x\r\n"}, {5, "abc\r\n"}, {5, "def\r\n"}}));
  EXPECT_EQ(s.Held(), "g");
  s.CloseConnection();
}

TEST(LineMode, HandlerThatReadsNothingDoesNotHangAndGetsTheLineAgain)
{
  std::atomic<int> step{0};
  TPeerServer peer([&](SOCKET c) {
    SendAll(c, "abc\r\n");
    WaitFor(step, 1);
    SendAll(c, "def\r\n");
    ReadAll(c);
  });
  TLineProbe s(nullptr);
  s.AssignLineMode(true);
  int calls = 0;
  bool reading = false;
  std::vector<std::string> lines;
  s.OnDataAvailable = [&](TObject*, std::uint16_t) {
    ++calls;
    if (reading)
      lines.push_back(s.ReceiveText());
  };
  ConnectTcp(s, peer.Port());
  ASSERT_TRUE(PumpMessagesUntil([&] { return calls > 0; }, 10s));
  PumpMessagesFor(200ms);
  EXPECT_LT(calls, 10);
  EXPECT_EQ(s.RcvdCount(), 5);
  reading = true;
  step = 1;
  ASSERT_TRUE(PumpMessagesUntil([&] { return lines.size() >= 2; }, 10s));
  EXPECT_EQ(lines, (std::vector<std::string>{"abc\r\n", "def\r\n"}));
  s.CloseConnection();
}

TEST(LineMode, SendTextLineQueuesTextAndTerminatorOnceAndCountsThem)
{
  struct Case {
    const char* lineEnd;
    const char* text;
    int result;  // the bytes queued
  };
  const Case cases[] = {{"\r\n", "hi", 4}, {"\r\n", "", 0}, {"\n", "yo", 3}, {"", "raw", 3}};
  std::string received;
  TPeerServer peer([&](SOCKET c) { received = ReadAll(c, 10); });
  TLineProbe s(nullptr);
  s.OnSessionConnected = [&](TObject*, std::uint16_t) {
    for (const auto& c : cases) {
      s.LineEnd = c.lineEnd;
      EXPECT_EQ(s.SendTextLine(c.text), c.result) << c.text;
    }
    EXPECT_EQ(s.SendQueue().PendingBytes(), 0);  // nothing left behind for later
    s.LineEnd = "\r\n";
  };
  ConnectTcp(s, peer.Port());
  ASSERT_TRUE(PumpMessagesUntil([&] { return peer.WaitSessions(1, 0); }, 10s));
  EXPECT_EQ(received, "hi\r\nyo\nraw");
  // Refused on a closed socket: reported, failed, and nothing stays queued
  // for a later session.
  s.CloseConnection();
  int errors = 0;
  s.OnError = [&](TObject*) { ++errors; };
  EXPECT_EQ(s.SendTextLine("stale"), -1);
  EXPECT_EQ(errors, 1);
  EXPECT_EQ(s.SendQueue().PendingBytes(), 0);
}

TEST(LineMode, LinesStartWithTheFirstByteAfterTheRelaysReply)
{
  std::atomic<int> lines{0};
  TPeerServer relay([&](SOCKET c) {
    // The reply and the first line and a half in one segment.
    GrantSocks5(c, kSocks5LoopbackRequestSize,
                std::string("\x05\x00\x00\x01\x00\x00\x00\x00\x00\x00", 10) + "one\r\ntw");
    WaitFor(lines, 1);
    SendAll(c, "o\r\n");
    ReadAll(c);
  });
  TLineProbe s(nullptr);
  s.AssignLineMode(true);
  std::vector<TOffer> offers;
  ReadOffers(s, offers);
  std::vector<std::string> events;
  s.OnSessionConnected = [&](TObject*, std::uint16_t e) {
    events.push_back("connected " + std::to_string(e));
    EXPECT_EQ(s.HeldCount(), 0);
  };
  ConnectViaRelay(s, relay.Port(), "5");
  ASSERT_TRUE(PumpMessagesUntil(
      [&] {
        lines = static_cast<int>(offers.size());
        return offers.size() >= 2;
      },
      10s));
  EXPECT_EQ(events, std::vector<std::string>{"connected 0"});
  EXPECT_EQ(offers, (std::vector<TOffer>{{5, "one\r\n"}, {5, "two\r\n"}}));
  s.CloseConnection();
}

TEST(LineMode, RunAndWaitEndsWhenALineHandlerSetsDone)
{
  TPeerServer peer([](SOCKET c) {
    SendAll(c, "noise\r\nREA");
    Sleep(100);
    SendAll(c, "DY\r\nmore");
    ReadAll(c);
  });
  TLineProbe s(nullptr);
  s.AssignLineMode(true);
  bool done = false;
  std::vector<std::string> lines;
  s.OnDataAvailable = [&](TObject*, std::uint16_t) {
    lines.push_back(s.ReceiveText());
    if (lines.back() == "READY\r\n")
      done = true;
  };
  EXPECT_EQ(s.RunAndWait([&] { ConnectTcp(s, peer.Port()); }, done), 0);
  EXPECT_EQ(lines, (std::vector<std::string>{"noise\r\n", "READY\r\n"}));
  EXPECT_EQ(s.Held(), "more");
  s.CloseConnection();
}

TEST(LineMode, LinesArrivingWhileAHandlerRunsAMessageLoopKeepTheirOrder)
{
  for (const bool noLoop : {false, true}) {
    SCOPED_TRACE(noLoop ? "wsoNoReceiveLoop" : "receive loop");
    std::atomic<int> step{0};
    TPeerServer peer([&](SOCKET c) {
      SendAll(c, "a\r\n");
      WaitFor(step, 1);
      SendAll(c, "b\r\nc\r\n");
      ReadAll(c);
    });
    TLineProbe s(nullptr);
    if (noLoop)
      s.ComponentOptions.Include(wsoNoReceiveLoop);
    s.AssignLineMode(true);
    std::vector<std::string> lines;
    s.OnDataAvailable = [&](TObject*, std::uint16_t) {
      char buffer[1024];  // more than a line: the read comes back short
      const int got = s.ReceiveData(buffer, sizeof(buffer));
      lines.emplace_back(buffer, static_cast<std::size_t>(got > 0 ? got : 0));
      if (lines.size() == 1) {
        // A handler that waits for something else meanwhile: the read
        // notification for b and c comes inside this loop.
        step = 1;
        PumpMessagesFor(300ms);
        lines.push_back("loop done");
      }
    };
    ConnectTcp(s, peer.Port());
    ASSERT_TRUE(PumpMessagesUntil([&] { return lines.size() >= 4; }, 10s));
    EXPECT_EQ(lines, (std::vector<std::string>{"a\r\n", "loop done", "b\r\n", "c\r\n"}));
    s.CloseConnection();
  }
}

TEST(LineMode, ExceptionFromAHandlerDuringTheRetriggerReachesOnBgException)
{
  TPeerServer peer([](SOCKET c) {
    SendAll(c, "x\r\nheld\r\n");
    ReadAll(c);
  });
  TLineProbe s(nullptr);
  s.AssignLineMode(true);
  int lines = 0;
  std::vector<std::string> log;
  s.OnDataAvailable = [&](TObject*, std::uint16_t) {
    if (!s.LineMode())
      return;  // leaves the held bytes alone
    if (++lines == 1) {
      s.ReceiveText();
      s.AssignLineMode(false);
      return;
    }
    throw ESocketException("handler failed");
  };
  s.OnBgException = [&](TObject*, Exception& e, bool& canClose) {
    log.push_back(e.Message());
    EXPECT_TRUE(canClose);
  };
  ConnectTcp(s, peer.Port());
  ASSERT_TRUE(PumpMessagesUntil([&] { return s.Held() == "held\r\n"; }, 10s));
  PumpMessagesFor(100ms);
  s.AssignLineMode(true);
  ASSERT_TRUE(PumpMessagesUntil([&] { return s.State() == wsClosed; }, 10s));
  EXPECT_EQ(log, std::vector<std::string>{"handler failed"});
}
