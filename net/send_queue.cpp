#include "net/send_queue.h"

#include <algorithm>

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
    blocks_.erase(blocks_.begin());
    return true;
  }
  return false;
}

long long TSendQueue::PendingBytes() const
{
  long long total = 0;
  for (const auto& block : blocks_)
    total += block->Pending();
  return total;
}
