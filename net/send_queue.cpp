#include "net/send_queue.h"

#include <algorithm>
#include <cstring>

bool TSendQueue::QueueData(const void* Data, int Len)
{
  if (Len <= 0 || Data == nullptr)
    return false;
  if (blocks_.empty())
    blocks_.push_back(std::make_unique<TBuffer>(BlockSize));
  auto* source = static_cast<const unsigned char*>(Data);
  TBuffer* target = blocks_.back().get();
  for (;;) {
    const int copied = target->AppendData(source, Len);
    if (copied >= Len)
      break;
    Len -= copied;
    source += copied;
    blocks_.push_back(std::make_unique<TBuffer>(BlockSize));
    target = blocks_.back().get();
  }
  return true;
}

bool TSendQueue::QueueDatagram(const void* Data, int Len)
{
  if (Len <= 0 || Data == nullptr)
    return false;
  // An empty last block left behind by the drain would otherwise sit in front
  // of the datagram for ever; reuse it when it is big enough.
  if (!blocks_.empty() && blocks_.back()->Pending() == 0 && blocks_.back()->Capacity() >= Len) {
    blocks_.back()->AppendData(Data, Len);
    return true;
  }
  auto block = std::make_unique<TBuffer>(std::max(Len, BlockSize));
  block->AppendData(Data, Len);
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

const unsigned char* TSendQueue::PeekRun(int Max, int& Len)
{
  Len = 0;
  if (blocks_.empty())
    return nullptr;
  int first = 0;
  const unsigned char* data = blocks_.front()->PeekData(first);
  if (first == 0 || first >= Max || blocks_.size() == 1) {
    Len = first;
    return data;
  }
  run_.resize(static_cast<std::size_t>(Max));
  for (const auto& block : blocks_) {
    int len = 0;
    const unsigned char* bytes = block->PeekData(len);
    const int count = std::min(len, Max - Len);
    if (count > 0)
      std::memcpy(run_.data() + Len, bytes, static_cast<std::size_t>(count));
    Len += count;
    if (Len == Max)
      break;
  }
  return run_.data();
}

int TSendQueue::Consume(int Count)
{
  int taken = 0;
  while (taken < Count && !blocks_.empty()) {
    taken += blocks_.front()->ConsumeData(Count - taken);
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
