// Loopback TCP throughput of TNetSocket, sender and receiver each on a thread
// of its own with its own message loop, next to a plain blocking Windows
// Sockets loop moving the same bytes in the same 64 KiB writes.
#include <winsock2.h>
#include <windows.h>

#if __has_include(<benchmark/benchmark.h>)
#include <benchmark/benchmark.h>
#else
#include "bench/support/mini_benchmark.h"
#endif

#include <atomic>
#include <memory>
#include <string>
#include <thread>

#include "net/net_socket.h"

namespace {

constexpr std::int64_t kTotal = 256LL * 1024 * 1024;
constexpr int kWrite = 64 * 1024;

struct TListener {
  SOCKET Socket = INVALID_SOCKET;
  int Port = 0;

  TListener()
  {
    Socket = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = inet_addr("127.0.0.1");
    bind(Socket, reinterpret_cast<sockaddr*>(&addr), sizeof(addr));
    listen(Socket, 1);
    int len = sizeof(addr);
    getsockname(Socket, reinterpret_cast<sockaddr*>(&addr), &len);
    Port = ntohs(addr.sin_port);
  }
  ~TListener() { closesocket(Socket); }
};

// The plain loop's two halves: blocking reads until the peer's close, and
// blocking 64 KiB writes of the whole total followed by a send shutdown.
std::int64_t PlainReceiveAll(SOCKET c)
{
  std::int64_t received = 0;
  std::string buffer(kWrite, '\0');
  for (;;) {
    const int n = recv(c, buffer.data(), kWrite, 0);
    if (n <= 0)
      break;
    received += n;
  }
  closesocket(c);
  return received;
}

SOCKET PlainSendAll(int port)
{
  SOCKET s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_port = htons(static_cast<u_short>(port));
  addr.sin_addr.s_addr = inet_addr("127.0.0.1");
  connect(s, reinterpret_cast<sockaddr*>(&addr), sizeof(addr));
  const std::string chunk(kWrite, 'p');
  for (std::int64_t sent = 0; sent < kTotal;) {
    const int n = send(s, chunk.data(), kWrite, 0);
    if (n <= 0)
      break;
    sent += n;
  }
  shutdown(s, SD_SEND);
  return s;
}

void PlainBlockingLoop(benchmark::State& state)
{
  for (auto _ : state) {
    TListener listener;
    std::int64_t received = 0;
    std::thread reader([&] { received = PlainReceiveAll(accept(listener.Socket, nullptr, nullptr)); });
    SOCKET s = PlainSendAll(listener.Port);
    reader.join();
    closesocket(s);
    if (received != kTotal)
      state.SkipWithError("plain loop lost bytes");
  }
  state.SetBytesProcessed(kTotal * state.iterations());
}

// Pumps the calling thread's messages until done is set.
void RunLoopUntil(const std::atomic<bool>& done)
{
  MSG msg;
  while (!done.load()) {
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
      TranslateMessage(&msg);
      DispatchMessageA(&msg);
    }
    if (!done.load())
      MsgWaitForMultipleObjectsEx(0, nullptr, 50, QS_ALLINPUT, MWMO_INPUTAVAILABLE);
  }
}

// How the TNetSocket receiver reads: 64 KiB at a time, or everything that
// waits (RcvdCount, then ReceiveData), as the client core reads its replies.
enum TReadMode { ReadFixed, ReadWaiting };

void NetSocketSendReceive(benchmark::State& state, int blockSize, bool plainReceiver = false, bool plainSender = false,
                          TReadMode readMode = ReadFixed)
{
  for (auto _ : state) {
    TListener listener;
    std::atomic<bool> receiverDone{false};
    std::atomic<std::int64_t> received{0};
    std::thread receiver([&] {
      SOCKET c = accept(listener.Socket, nullptr, nullptr);
      if (plainReceiver) {
        received = PlainReceiveAll(c);
        return;
      }
      TNetSocket in(nullptr);
      in.MultiThreaded = true;
      std::string buffer(kWrite, '\0');
      in.OnDataAvailable = [&](TObject*, std::uint16_t) {
        int want = kWrite;
        if (readMode == ReadWaiting) {
          want = in.ReadRcvdCount();
          if (want <= 0)
            return;
          if (buffer.size() < static_cast<std::size_t>(want))
            buffer.resize(static_cast<std::size_t>(want));
        }
        const int n = in.ReceiveData(buffer.data(), want);
        if (n > 0)
          received += n;
      };
      in.OnSessionClosed = [&](TObject*, std::uint16_t) { receiverDone = true; };
      in.Dup(c);
      RunLoopUntil(receiverDone);
    });

    if (plainSender) {
      SOCKET s = PlainSendAll(listener.Port);
      receiver.join();
      closesocket(s);
      if (received.load() != kTotal)
        state.SkipWithError("TNetSocket lost bytes");
      continue;
    }
    TNetSocket out(nullptr);
    out.SetSendBlockSize(blockSize);
    // The default linger (on, 0 s) resets the connection at close and drops
    // what the system has not sent yet; the last bytes must arrive here.
    out.LingerOnOff = wsLingerNoSet;
    const std::string chunk(kWrite, 'n');
    std::int64_t queued = 0;
    std::atomic<bool> senderDone{false};
    auto feed = [&] {
      // Keep about 1 MiB queued: Send never waits, so it must be paced.
      while (queued < kTotal && out.SendQueue().PendingBytes() < 1024 * 1024) {
        out.Send(chunk.data(), kWrite);
        queued += kWrite;
      }
      if (queued >= kTotal && out.SendQueueEmpty()) {
        out.CloseConnection();
        senderDone = true;
      }
    };
    out.OnSessionConnected = [&](TObject*, std::uint16_t err) {
      if (err != 0)
        senderDone = true;
      else
        feed();
    };
    out.OnDataSent = [&](TObject*, std::uint16_t) { feed(); };
    out.AssignAddr("127.0.0.1");
    out.AssignPort(std::to_string(listener.Port));
    out.Connect();
    RunLoopUntil(senderDone);
    receiver.join();
    if (received.load() != kTotal)
      state.SkipWithError("TNetSocket lost bytes");
  }
  state.SetBytesProcessed(kTotal * state.iterations());
}

void NetSocketDefaultBlocks(benchmark::State& state)
{
  NetSocketSendReceive(state, 1460);
}

void NetSocket64KiBBlocks(benchmark::State& state)
{
  NetSocketSendReceive(state, kWrite);
}

// Each side alone against the plain loop's other side, to tell where the cost lies.
void NetSocketSenderPlainReceiver(benchmark::State& state)
{
  NetSocketSendReceive(state, kWrite, true, false);
}

void PlainSenderNetSocketReceiver(benchmark::State& state)
{
  NetSocketSendReceive(state, kWrite, false, true);
}

// The receiver reads what waits at each notification, as the client core does.
void NetSocketDefaultBlocksReadWaiting(benchmark::State& state)
{
  NetSocketSendReceive(state, 1460, false, false, ReadWaiting);
}

void PlainSenderNetSocketReceiverReadWaiting(benchmark::State& state)
{
  NetSocketSendReceive(state, kWrite, false, true, ReadWaiting);
}

const bool started = [] {
  WSADATA data;
  return WSAStartup(MAKEWORD(2, 2), &data) == 0;
}();

}  // namespace

BENCHMARK(PlainBlockingLoop)->Iterations(3)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(NetSocketDefaultBlocks)->Iterations(3)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(NetSocket64KiBBlocks)->Iterations(3)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(NetSocketSenderPlainReceiver)->Iterations(3)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(PlainSenderNetSocketReceiver)->Iterations(3)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(NetSocketDefaultBlocksReadWaiting)->Iterations(3)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(PlainSenderNetSocketReceiverReadWaiting)->Iterations(3)->Unit(benchmark::kMillisecond)->UseRealTime();

BENCHMARK_MAIN();
