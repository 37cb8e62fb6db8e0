#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <memory>
#include <string>

#include "net/net_socket.h"
#include "net/socket_window.h"
#include "net/winsock_binding.h"
#include "platform/ascii_text.h"
#include "tests/net/net_test_peers.h"
#include "tests/support/message_pump.h"
#include "tests/support/test_paths.h"

TEST(WinsockBinding, SocketsAloneLoadNothingAndTheLastOneUnloads)
{
  ASSERT_EQ(LiveSocketCount(), 0);
  ASSERT_FALSE(WinsockLoaded());
  {
    TNetSocket a(nullptr);
    TNetSocket b(nullptr);
    EXPECT_EQ(LiveSocketCount(), 2);
    EXPECT_TRUE(SocketWindowClassRegistered());
    EXPECT_FALSE(WinsockLoaded());
  }
  EXPECT_EQ(LiveSocketCount(), 0);
  EXPECT_FALSE(WinsockLoaded());
  EXPECT_FALSE(SocketWindowClassRegistered());
}

TEST(WinsockBinding, LoadUnloadReloadCycle)
{
  ASSERT_FALSE(WinsockLoaded());
  for (int cycle = 0; cycle < 3; ++cycle) {
    auto s = std::make_unique<TNetSocket>(nullptr);
    const int startups = WinsockStartupCount();
    const int resolves = WinsockResolveCount();
    Winsock::WSAGetLastError();
    EXPECT_TRUE(WinsockLoaded()) << cycle;
    EXPECT_EQ(WinsockStartupCount(), startups + 1) << cycle;
    EXPECT_EQ(WinsockStartedVersion(), 0x0101) << cycle;
    EXPECT_EQ(WinsockResolveCount(), resolves + 2) << cycle;  // WSAStartup, then WSAGetLastError
    Winsock::WSAGetLastError();
    EXPECT_EQ(WinsockResolveCount(), resolves + 2) << cycle;
    EXPECT_EQ(LiveSocketCount(), 1);
    s.reset();
    EXPECT_FALSE(WinsockLoaded()) << cycle;
    EXPECT_FALSE(Winsock2Loaded()) << cycle;
    EXPECT_EQ(LiveSocketCount(), 0);
    EXPECT_FALSE(SocketWindowClassRegistered()) << cycle;
  }
}

TEST(WinsockBinding, WsaIoctlLoadsWs2AndUnloadForgetsIt)
{
  auto s = std::make_unique<TNetSocket>(nullptr);
  DWORD bytes = 0;
  EXPECT_NE(Winsock::WSAIoctl(INVALID_SOCKET, 0, nullptr, 0, nullptr, 0, &bytes, nullptr, nullptr), 0);
  EXPECT_TRUE(WinsockLoaded());
  EXPECT_TRUE(Winsock2Loaded());
  s.reset();
  EXPECT_FALSE(Winsock2Loaded());
  EXPECT_FALSE(WinsockLoaded());
}

TEST(WinsockBinding, MissingEntryPointNamesItAndLeavesLibraryLoaded)
{
  auto s = std::make_unique<TNetSocket>(nullptr);
  try {
    WinsockEntryPoint("NoSuchEntryPoint");
    FAIL() << "no exception";
  } catch (const ESocketException& e) {
    EXPECT_EQ(e.Message().rfind("Procedure NoSuchEntryPoint not found in wsock32.dll Error #", 0), 0u) << e.Message();
  }
  EXPECT_TRUE(WinsockLoaded());
  try {
    Winsock2EntryPoint("NoSuchEntryPoint2");
    FAIL() << "no exception";
  } catch (const ESocketException& e) {
    EXPECT_EQ(e.Message().rfind("Procedure NoSuchEntryPoint2 not found in ws2_32.dll Error #", 0), 0u) << e.Message();
  }
}

TEST(WinsockBinding, LibrariesComeFromTheSystemFolderNotTheCurrentOne)
{
  // A worthless wsock32.dll in the current folder must not be the one loaded.
  const std::string dir = FreshTestDir("net_planted_dll");
  for (const char* name : {"wsock32.dll", "ws2_32.dll"}) {
    FILE* f = std::fopen((dir + "\\" + name).c_str(), "wb");
    ASSERT_NE(f, nullptr);
    std::fputs("not a library", f);
    std::fclose(f);
  }
  char previous[MAX_PATH];
  GetCurrentDirectoryA(MAX_PATH, previous);
  ASSERT_TRUE(SetCurrentDirectoryA(dir.c_str()));
  {
    auto s = std::make_unique<TNetSocket>(nullptr);
    EXPECT_NO_THROW(Winsock::WSAGetLastError());
    char path[MAX_PATH];
    ASSERT_GT(GetModuleFileNameA(WinsockModule(), path, MAX_PATH), 0u);
    char system[MAX_PATH];
    GetSystemDirectoryA(system, MAX_PATH);
    EXPECT_EQ(LowerAscii(path), LowerAscii(std::string(system) + "\\wsock32.dll"));
  }
  SetCurrentDirectoryA(previous);
}

TEST(WinsockBinding, RequestedVersionCanChangeOnlyWhileUnloaded)
{
  auto s = std::make_unique<TNetSocket>(nullptr);
  s->SetReqVerHigh(2);  // not loaded yet: accepted
  EXPECT_EQ(s->ReqVerHigh(), 2);
  Winsock::WSAGetLastError();
  EXPECT_EQ(WinsockStartedVersion(), 0x0201);
  EXPECT_NO_THROW(s->SetReqVerHigh(2));  // the same value: accepted at any time
  try {
    s->SetReqVerHigh(1);
    FAIL() << "no refusal";
  } catch (const ESocketException& e) {
    EXPECT_NE(e.Message().find(" in function SetReqVerHigh: WinSock version can't be changed now\r\n"),
              std::string::npos)
        << e.Message();
  }
  EXPECT_THROW(s->SetReqVerLow(0), ESocketException);
  EXPECT_EQ(s->ReqVerHigh(), 2);
  EXPECT_EQ(s->ReqVerLow(), 1);
  s.reset();
  TNetSocket t(nullptr);
  t.SetReqVerHigh(1);
  EXPECT_EQ(t.ReqVerHigh(), 1);
}

TEST(HiddenWindow, SlotIsPointerSizedAndHoldsTheWholeSocketPointer)
{
  TNetSocket s(nullptr);
  WNDCLASSA info;
  ASSERT_TRUE(GetClassInfoA(GetModuleHandleA(nullptr), "XSocketWindowClass", &info));
  EXPECT_EQ(info.cbWndExtra, static_cast<int>(sizeof(LONG_PTR)));
  EXPECT_EQ(GetWindowLongPtrA(s.HiddenWindow(), 0), reinterpret_cast<LONG_PTR>(&s));
  char name[64];
  GetClassNameA(s.HiddenWindow(), name, sizeof(name));
  EXPECT_STREQ(name, "XSocketWindowClass");
}

TEST(HiddenWindow, OtherMessagesGetTheDefaultProcedure)
{
  // Answers that a procedure returning 0 cannot give: the default one stores
  // the title and reports it back.
  TNetSocket s(nullptr);
  const HWND window = s.HiddenWindow();
  EXPECT_EQ(SendMessageA(window, WM_SETTEXT, 0, reinterpret_cast<LPARAM>("title")), TRUE);
  EXPECT_EQ(SendMessageA(window, WM_GETTEXTLENGTH, 0, 0), 5);
  char title[16] = "";
  EXPECT_EQ(SendMessageA(window, WM_GETTEXT, sizeof(title), reinterpret_cast<LPARAM>(title)), 5);
  EXPECT_STREQ(title, "title");
}

TEST(HiddenWindow, TestExceptionMessageReachesBackgroundHandler)
{
  TNetSocket s(nullptr);
  std::string seen;
  bool closeOffered = false;
  s.OnBgException = [&](TObject* sender, Exception& e, bool& canClose) {
    EXPECT_EQ(sender, &s);
    seen = e.Message();
    closeOffered = canClose;
  };
  PostMessageA(s.HiddenWindow(), WM_SOCKET_TEST_EXCEPTION, 0, 0);
  EXPECT_TRUE(PumpMessagesUntil([&] { return !seen.empty(); }, std::chrono::milliseconds(20000)));
  EXPECT_EQ(seen, "Test exception in NetSocket");
  EXPECT_TRUE(closeOffered);
}

TEST(HiddenWindow, FreeLaterDestroysTheSocketFromTheMessageLoop)
{
  auto* s = new TNetSocket(nullptr);
  const HWND window = s->HiddenWindow();
  s->FreeLater();
  EXPECT_TRUE(IsWindow(window));
  EXPECT_EQ(LiveSocketCount(), 1);
  EXPECT_TRUE(PumpMessagesUntil([&] { return LiveSocketCount() == 0; }, std::chrono::milliseconds(20000)));
  EXPECT_FALSE(IsWindow(window));
}

namespace {

// A socket whose memory is poisoned and kept when it is deleted: whatever
// reads it afterwards finds the poison, whatever writes it leaves a mark.
class TPoisonedSocket : public TNetSocket {
public:
  using TNetSocket::TNetSocket;
  static constexpr unsigned char kPoison = 0xDD;
  static void operator delete(void* memory, std::size_t size)
  {
    std::memset(memory, kPoison, size);
    Grave() = {static_cast<unsigned char*>(memory), size};
  }
  static bool GraveUntouched()
  {
    const auto& [bytes, size] = Grave();
    for (std::size_t i = 0; i < size; ++i)
      if (bytes[i] != kPoison)
        return false;
    return bytes != nullptr;
  }
  static void ReleaseGrave()
  {
    ::operator delete(Grave().first);
    Grave() = {};
  }
  int HeldCount() const { return static_cast<int>(HeldBytes().size()); }

private:
  static std::pair<unsigned char*, std::size_t>& Grave()
  {
    static std::pair<unsigned char*, std::size_t> grave;
    return grave;
  }
};

// The handlers capture nothing: their storage lies in the socket they free.
bool throwAfterFree = false;
int backgroundExceptions = 0;
void FreeInAMessageLoop(TObject* sender, std::uint16_t)
{
  static_cast<TNetSocket*>(sender)->FreeLater();
  PumpMessagesUntil([] { return LiveSocketCount() == 0; }, std::chrono::milliseconds(20000));
  if (throwAfterFree)
    throw ESocketException("after the free");
}

}  // namespace

TEST(HiddenWindow, FreeLaterInsideAHandlerThatRunsAMessageLoopLeavesTheSocketUntouched)
{
  const struct {
    const char* name;
    bool lineRetrigger;  // else the connect notification's handler frees it
    bool throws;
  } cases[] = {{"connected", false, false},
               {"connected, then throws", false, true},
               {"held bytes offered again, then throws", true, true}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    TPeerServer peer([](SOCKET sock) {
      SendAll(sock, "held");
      ReadAll(sock);
    });
    throwAfterFree = c.throws;
    backgroundExceptions = 0;
    auto* s = new TPoisonedSocket(nullptr);
    s->OnBgException = [](TObject*, Exception&, bool&) { ++backgroundExceptions; };
    if (c.lineRetrigger) {
      s->AssignLineMode(true);
      ConnectTcp(*s, peer.Port());
      ASSERT_TRUE(PumpMessagesUntil([&] { return s->HeldCount() == 4; }, std::chrono::milliseconds(20000)));
      s->OnDataAvailable = FreeInAMessageLoop;
      s->AssignLineMode(false);
    } else {
      s->OnSessionConnected = FreeInAMessageLoop;
      ConnectTcp(*s, peer.Port());
    }
    EXPECT_TRUE(PumpMessagesUntil([] { return LiveSocketCount() == 0; }, std::chrono::milliseconds(20000)));
    PumpMessagesFor(std::chrono::milliseconds(50));
    EXPECT_TRUE(TPoisonedSocket::GraveUntouched());
    EXPECT_EQ(backgroundExceptions, 0);
    TPoisonedSocket::ReleaseGrave();
  }
}
