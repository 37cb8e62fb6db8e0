#include "net/send_buffer.h"

#include <algorithm>
#include <cstring>

namespace {

// What a block of no size given becomes: one Ethernet frame.
constexpr int kFallbackBlockSize = 1514;

}  // namespace

TBuffer::TBuffer(int size)
{
  SetBlockSize(size);
}

void TBuffer::SetBlockSize(int size)
{
  if (size <= 0)
    size = kFallbackBlockSize;
  if (size == capacity_)
    return;
  auto fresh = std::make_unique<unsigned char[]>(static_cast<std::size_t>(size));
  if (writePos_ != readPos_) {
    const int keep = std::min(writePos_, size);
    std::memcpy(fresh.get(), data_.get(), static_cast<std::size_t>(keep));
    writePos_ = keep;
    readPos_ = std::min(readPos_, keep);
    if (readPos_ == writePos_)
      readPos_ = writePos_ = 0;
  } else {
    readPos_ = writePos_ = 0;
  }
  data_ = std::move(fresh);
  capacity_ = size;
}

int TBuffer::AppendData(const void* source, int len)
{
  const int free = capacity_ - writePos_;
  if (free <= 0 || len <= 0 || source == nullptr)
    return 0;
  const int count = std::min(free, len);
  std::memcpy(data_.get() + writePos_, source, static_cast<std::size_t>(count));
  writePos_ += count;
  return count;
}

const unsigned char* TBuffer::PeekData(int& len) const
{
  const int pending = writePos_ - readPos_;
  if (pending > 0) {
    len = pending;
    return data_.get() + readPos_;
  }
  len = 0;
  return nullptr;
}

int TBuffer::ConsumeData(int len)
{
  const int pending = writePos_ - readPos_;
  if (pending <= 0 || len <= 0)
    return 0;
  const int count = std::min(len, pending);
  readPos_ += count;
  if (readPos_ == writePos_)
    readPos_ = writePos_ = 0;
  return count;
}
