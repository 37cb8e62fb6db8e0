#include "net/send_queue.h"

#include <algorithm>
#include <cstring>

bool TSendQueue::QueueData(const void* data, int len)
{
  if (len <= 0 || data == nullptr)
    return false;
  if (blocks_.empty())
    blocks_.push_back(std::make_unique<TBuffer>(BlockSize));
  auto* source = static_cast<const unsigned char*>(data);
  TBuffer* target = blocks_.back().get();
  for (;;) {
    const int copied = target->AppendData(source, len);
    if (copied >= len)
      break;
    len -= copied;
    source += copied;
    blocks_.push_back(std::make_unique<TBuffer>(BlockSize));
    target = blocks_.back().get();
  }
  return true;
}

bool TSendQueue::QueueDatagram(const void* data, int len)
{
  if (len <= 0 || data == nullptr)
    return false;
  // An empty last block left behind by the drain would otherwise sit in front
  // of the datagram for ever; reuse it when it is big enough.
  if (!blocks_.empty() && blocks_.back()->Pending() == 0 && blocks_.back()->Capacity() >= len) {
    blocks_.back()->AppendData(data, len);
    return true;
  }
  auto block = std::make_unique<TBuffer>(std::max(len, BlockSize));
  block->AppendData(data, len);
  blocks_.push_back(std::move(block));
  return true;
}

bool TSendQueue::DropEmptyFront()
{
  if (blocks_.size() > 1 && blocks_.front()->Pending() == 0) {
    blocks_.pop_front();
    return true;
  }
  return false;
}

void TSendQueue::DeleteSendQueue()
{
  blocks_.clear();
  ++generation_;
}

const unsigned char* TSendQueue::PeekRun(int max, int& len)
{
  len = 0;
  if (blocks_.empty())
    return nullptr;
  int first = 0;
  const unsigned char* data = blocks_.front()->PeekData(first);
  if (first == 0 || first >= max || blocks_.size() == 1) {
    len = first;
    return data;
  }
  run_.resize(static_cast<std::size_t>(max));
  for (const auto& block : blocks_) {
    int blockLen = 0;
    const unsigned char* bytes = block->PeekData(blockLen);
    const int count = std::min(blockLen, max - len);
    if (count > 0)
      std::memcpy(run_.data() + len, bytes, static_cast<std::size_t>(count));
    len += count;
    if (len == max)
      break;
  }
  return run_.data();
}

int TSendQueue::Consume(int count)
{
  int taken = 0;
  while (taken < count && !blocks_.empty()) {
    taken += blocks_.front()->ConsumeData(count - taken);
    if (blocks_.front()->Pending() != 0)
      break;
    if (blocks_.size() == 1)
      break;
    blocks_.pop_front();
  }
  return taken;
}

long long TSendQueue::PendingBytes() const
{
  long long total = 0;
  for (const auto& block : blocks_)
    total += block->Pending();
  return total;
}
