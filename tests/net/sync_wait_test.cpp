#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "net/net_socket.h"
#include "tests/net/net_test_peers.h"
#include "tests/support/message_pump.h"

using namespace std::chrono_literals;

namespace {

double ThreadCpuSeconds()
{
  FILETIME created, exited, kernel, user;
  GetThreadTimes(GetCurrentThread(), &created, &exited, &kernel, &user);
  auto value = [](const FILETIME& t) {
    return static_cast<double>((static_cast<unsigned long long>(t.dwHighDateTime) << 32) | t.dwLowDateTime) / 1e7;
  };
  return value(kernel) + value(user);
}

bool* TimerDone = nullptr;

void CALLBACK SetDoneLater(HWND, UINT, UINT_PTR id, DWORD)
{
  KillTimer(nullptr, id);
  *TimerDone = true;
}

}  // namespace

TEST(SyncWait, DoneAlreadyTrueReturnsAtOnceWithoutPumping)
{
  TNetSocket s(nullptr);
  PostMessageA(s.HiddenWindow(), WM_SOCKET_TEST_EXCEPTION, 0, 0);
  bool done = true;
  EXPECT_EQ(s.WaitReady(done), 0);
  MSG msg;
  EXPECT_TRUE(PeekMessageA(&msg, s.HiddenWindow(), WM_SOCKET_TEST_EXCEPTION, WM_SOCKET_TEST_EXCEPTION, PM_REMOVE));
}

TEST(SyncWait, RunAndWaitClearsDoneAndProcCanEndIt)
{
  TNetSocket s(nullptr);
  bool done = true;
  bool sawCleared = false;
  EXPECT_EQ(s.RunAndWait(
                [&] {
                  sawCleared = !done;
                  done = true;
                },
                done),
            0);
  EXPECT_TRUE(sawCleared);
}

TEST(SyncWait, WaitsForAConnectHandler)
{
  TPeerServer peer([](SOCKET c) { ReadAll(c); });
  TNetSocket s(nullptr);
  bool done = false;
  int result = -1;
  s.OnSessionConnected = [&](TObject*, std::uint16_t err) {
    result = err;
    done = true;
  };
  EXPECT_EQ(s.RunAndWait([&] { ConnectTcp(s, peer.Port()); }, done), 0);
  EXPECT_EQ(result, 0);
  EXPECT_EQ(s.State(), wsConnected);
  s.CloseConnection();
}

TEST(SyncWait, QuitMessageAbandonsTheWait)
{
  TNetSocket s(nullptr);
  s.MultiThreaded = true;
  bool done = false;
  PostQuitMessage(0);
  EXPECT_EQ(s.RunAndWait(nullptr, done), 12001);
  EXPECT_FALSE(done);
  EXPECT_TRUE(s.QuitReceived());
}

TEST(SyncWait, SocketClosedUnderTheWaitEndsIt)
{
  TPeerServer peer([](SOCKET) {});  // accepts and closes at once
  TNetSocket s(nullptr);
  bool done = false;
  EXPECT_EQ(s.RunAndWait([&] { ConnectTcp(s, peer.Port()); }, done), 12001);
  EXPECT_EQ(s.State(), wsClosed);
}

TEST(SyncWait, SocketDestroyedUnderTheWaitEndsIt)
{
  TPeerServer peer([](SOCKET c) {
    SendAll(c, "x");
    ReadAll(c);
  });
  auto* s = new TNetSocket(nullptr);
  s->OnDataAvailable = [s](TObject*, std::uint16_t) { s->FreeLater(); };
  bool done = false;
  EXPECT_EQ(s->RunAndWait([&] { ConnectTcp(*s, peer.Port()); }, done), 12001);
}

TEST(SyncWait, WaitingDoesNotSpinTheProcessor)
{
  TNetSocket s(nullptr);
  bool done = false;
  TimerDone = &done;
  SetTimer(nullptr, 0, 600, SetDoneLater);
  const double cpuBefore = ThreadCpuSeconds();
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(s.WaitReady(done), 0);
  const double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  const double cpu = ThreadCpuSeconds() - cpuBefore;
  EXPECT_GE(wall, 0.5);
  EXPECT_LT(cpu, 0.2) << "the wait used " << cpu << " s of processor time in " << wall << " s";
}
