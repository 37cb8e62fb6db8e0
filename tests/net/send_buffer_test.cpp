#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "net/send_buffer.h"
#include "net/send_queue.h"

namespace {

std::string Unread(const TBuffer& block)
{
  int len = 0;
  const unsigned char* data = block.PeekData(len);
  return data == nullptr ? std::string()
                         : std::string(reinterpret_cast<const char*>(data), static_cast<std::size_t>(len));
}

}  // namespace

TEST(SendBuffer, SizeZeroOrLessFallsBackTo1514)
{
  for (int size : {0, -1, -1000}) {
    TBuffer block(size);
    EXPECT_EQ(block.Capacity(), 1514) << size;
  }
  TBuffer block(1460);
  EXPECT_EQ(block.Capacity(), 1460);
}

TEST(SendBuffer, AppendStopsAtCapacityAndFullBlockTakesNothing)
{
  TBuffer block(8);
  const std::string data = "0123456789";
  EXPECT_EQ(block.AppendData(data.data(), 10), 8);
  EXPECT_EQ(block.AppendData(data.data(), 1), 0);
  EXPECT_EQ(Unread(block), "01234567");
}

TEST(SendBuffer, PeekOnEmptyBlockGivesNullAndZero)
{
  TBuffer block(16);
  int len = 99;
  EXPECT_EQ(block.PeekData(len), nullptr);
  EXPECT_EQ(len, 0);
}

TEST(SendBuffer, ConsumeMoreThanUnreadTakesUnreadAndAnEmptiedBlockTakesItsWholeSizeAgain)
{
  TBuffer block(16);
  block.AppendData("abcdef", 6);
  EXPECT_EQ(block.ConsumeData(2), 2);
  EXPECT_EQ(Unread(block), "cdef");
  EXPECT_EQ(block.ConsumeData(100), 4);
  EXPECT_EQ(block.ConsumeData(1), 0);
  const std::string whole = "ghijklmnopqrstuv";
  EXPECT_EQ(block.AppendData(whole.data(), 16), 16);
  EXPECT_EQ(Unread(block), whole);
}

TEST(SendBuffer, PartlyConsumedFullBlockIsNotCompacted)
{
  TBuffer block(1460);
  const std::string full(1460, 'x');
  ASSERT_EQ(block.AppendData(full.data(), 1460), 1460);
  block.ConsumeData(1000);
  EXPECT_EQ(block.AppendData("y", 1), 0);
  block.ConsumeData(460);
  EXPECT_EQ(block.AppendData("y", 1), 1);
}

TEST(SendBuffer, ResizeKeepsUnreadBytesAndShrinkingKeepsOnlyWhatFits)
{
  TBuffer block(8);
  block.AppendData("abcdefgh", 8);
  block.ConsumeData(2);
  block.SetBlockSize(16);
  EXPECT_EQ(block.Capacity(), 16);
  EXPECT_EQ(Unread(block), "cdefgh");
  // Room behind the bytes it holds; what was read stays used until it is empty.
  EXPECT_EQ(block.AppendData("ijklmnopqrst", 12), 8);
  EXPECT_EQ(Unread(block), "cdefghijklmnop");
  block.SetBlockSize(5);
  EXPECT_EQ(block.Capacity(), 5);
  EXPECT_EQ(Unread(block), "cde");
  EXPECT_EQ(block.AppendData("x", 1), 0);
  block.SetBlockSize(2);  // what was read reaches past the new end
  EXPECT_EQ(Unread(block), "");
  EXPECT_EQ(block.AppendData("xyz", 3), 2);
  EXPECT_EQ(Unread(block), "xy");
}

TEST(SendQueue, FourThousandBytesMakeThreeBlocks)
{
  TSendQueue queue;
  const std::string data(4000, 'q');
  ASSERT_TRUE(queue.QueueData(data.data(), 4000));
  ASSERT_EQ(queue.BlockCount(), 3);
  EXPECT_EQ(queue.Block(0)->Pending(), 1460);
  EXPECT_EQ(queue.Block(1)->Pending(), 1460);
  EXPECT_EQ(queue.Block(2)->Pending(), 1080);
  EXPECT_EQ(queue.PendingBytes(), 4000);
}

TEST(SendQueue, LastBlockIsToppedUpBehindItsWritePosition)
{
  TSendQueue queue;
  queue.QueueData(std::string(1000, 'a').data(), 1000);
  queue.Front()->ConsumeData(600);
  queue.QueueData(std::string(500, 'b').data(), 500);
  ASSERT_EQ(queue.BlockCount(), 2);
  EXPECT_EQ(queue.Block(0)->Pending(), 860);  // 400 a + 460 b
  EXPECT_EQ(queue.Block(1)->Pending(), 40);
}

TEST(SendQueue, NullOrEmptyDataLeavesQueueAsItWas)
{
  TSendQueue queue;
  EXPECT_FALSE(queue.QueueData(nullptr, 10));
  EXPECT_FALSE(queue.QueueData("x", 0));
  EXPECT_FALSE(queue.QueueData("x", -5));
  EXPECT_FALSE(queue.QueueDatagram(nullptr, 10));
  EXPECT_EQ(queue.BlockCount(), 0);
}

TEST(SendQueue, EmptyFrontIsDroppedOnlyWhileAnotherBlockFollows)
{
  TSendQueue queue;
  queue.QueueData(std::string(2000, 'z').data(), 2000);
  queue.Front()->ConsumeData(1460);
  EXPECT_TRUE(queue.DropEmptyFront());
  EXPECT_EQ(queue.BlockCount(), 1);
  queue.Front()->ConsumeData(540);
  EXPECT_FALSE(queue.DropEmptyFront());
  EXPECT_EQ(queue.BlockCount(), 1);
}

TEST(SendQueue, DatagramsAreKeptWholeOneBlockEach)
{
  TSendQueue queue;
  const std::string big(3000, 'd');
  ASSERT_TRUE(queue.QueueDatagram(big.data(), 3000));
  ASSERT_TRUE(queue.QueueDatagram("tiny", 4));
  ASSERT_EQ(queue.BlockCount(), 2);
  EXPECT_EQ(queue.Block(0)->Pending(), 3000);
  EXPECT_EQ(queue.Block(1)->Pending(), 4);
  // A drained last block is reused for the next datagram instead of leaving
  // an empty block in front of it.
  queue.Front()->ConsumeData(3000);
  queue.DropEmptyFront();
  queue.Front()->ConsumeData(4);
  ASSERT_TRUE(queue.QueueDatagram("next", 4));
  ASSERT_EQ(queue.BlockCount(), 1);
  EXPECT_EQ(Unread(*queue.Front()), "next");
}

TEST(SendQueue, RunJoinsConsecutiveBlocksUpToItsLimit)
{
  TSendQueue queue;
  std::string data(4000, '\0');
  for (std::size_t i = 0; i < data.size(); ++i)
    data[i] = static_cast<char>('a' + i % 26);
  queue.QueueData(data.data(), 4000);
  queue.Front()->ConsumeData(100);
  int len = 0;
  const unsigned char* run = queue.PeekRun(3000, len);
  ASSERT_EQ(len, 3000);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(run), 3000), data.substr(100, 3000));
  // A limit no larger than the first block's bytes, or no limit: that block alone.
  run = queue.PeekRun(0, len);
  EXPECT_EQ(len, 1360);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(run), 1360), data.substr(100, 1360));
  run = queue.PeekRun(100000, len);
  EXPECT_EQ(len, 3900);
}

TEST(SendQueue, ConsumeAcrossBlocksFreesThoseItEmptiesButKeepsTheLast)
{
  TSendQueue queue;
  queue.QueueData(std::string(4000, 'c').data(), 4000);
  EXPECT_EQ(queue.Consume(1500), 1500);  // the first block and 40 bytes of the second
  ASSERT_EQ(queue.BlockCount(), 2);
  EXPECT_EQ(queue.Block(0)->Pending(), 1420);
  EXPECT_EQ(queue.Consume(10000), 2500);
  ASSERT_EQ(queue.BlockCount(), 1);  // the last stays, empty, for the next data
  EXPECT_EQ(queue.Front()->Pending(), 0);
  int len = 7;
  EXPECT_EQ(queue.PeekRun(64 * 1024, len), nullptr);
  EXPECT_EQ(len, 0);
  const unsigned before = queue.Generation();
  queue.DeleteSendQueue();
  EXPECT_NE(queue.Generation(), before);
  EXPECT_EQ(queue.Consume(5), 0);
}

TEST(SendQueue, SendsInPiecesGiveTheQueuedBytesInOrderAcrossBlocks)
{
  // As a socket drains its queue: one run per send, of which the system
  // takes only a part, while more data arrives between the sends.
  TSendQueue queue;
  std::string queued;
  std::string sent;
  const struct {
    int queue;  // bytes queued before the send
    int limit;  // the run's limit
    int taken;  // of the run, what the system takes
  } steps[] = {
      {1000, 0, 999}, {700, 3000, 1}, {2300, 3000, 2999}, {0, 100000, 1460}, {1000, 1, 1}, {0, 100000, 100000},
  };
  // Each byte tells its place in the stream (modulo a prime), so a byte out of
  // place shows.
  constexpr std::size_t Period = 251;
  for (const auto& step : steps) {
    std::string more;
    while (more.size() < static_cast<std::size_t>(step.queue))
      more += static_cast<char>((queued.size() + more.size()) % Period);
    if (!more.empty()) {
      ASSERT_TRUE(queue.QueueData(more.data(), step.queue));
    }
    queued += more;
    int len = 0;
    const unsigned char* run = queue.PeekRun(step.limit, len);
    ASSERT_NE(run, nullptr);
    const int taken = std::min(len, step.taken);
    sent.append(reinterpret_cast<const char*>(run), static_cast<std::size_t>(taken));
    EXPECT_EQ(queue.Consume(taken), taken);
    EXPECT_EQ(queue.PendingBytes(), static_cast<long long>(queued.size() - sent.size()));
  }
  EXPECT_EQ(sent, queued);
}
