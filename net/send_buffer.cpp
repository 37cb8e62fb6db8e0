#include "net/send_buffer.h"

#include <algorithm>
#include <cstring>

TBuffer::TBuffer(int Size)
{
  SetBlockSize(Size);
}

void TBuffer::SetBlockSize(int Size)
{
  if (Size <= 0)
    Size = 1514;
  if (Size == capacity_)
    return;
  auto fresh = std::make_unique<unsigned char[]>(static_cast<std::size_t>(Size));
  if (writePos_ != readPos_) {
    const int keep = std::min(writePos_, Size);
    std::memcpy(fresh.get(), data_.get(), static_cast<std::size_t>(keep));
    writePos_ = keep;
    readPos_ = std::min(readPos_, keep);
    if (readPos_ == writePos_)
      readPos_ = writePos_ = 0;
  } else {
    readPos_ = writePos_ = 0;
  }
  data_ = std::move(fresh);
  capacity_ = Size;
}

int TBuffer::AppendData(const void* Source, int Len)
{
  const int free = capacity_ - writePos_;
  if (free <= 0 || Len <= 0 || Source == nullptr)
    return 0;
  const int count = std::min(free, Len);
  std::memcpy(data_.get() + writePos_, Source, static_cast<std::size_t>(count));
  writePos_ += count;
  return count;
}

const unsigned char* TBuffer::PeekData(int& Len) const
{
  const int pending = writePos_ - readPos_;
  if (pending > 0) {
    Len = pending;
    return data_.get() + readPos_;
  }
  Len = 0;
  return nullptr;
}

int TBuffer::ConsumeData(int Len)
{
  const int pending = writePos_ - readPos_;
  if (pending <= 0 || Len <= 0)
    return 0;
  const int count = std::min(Len, pending);
  readPos_ += count;
  if (readPos_ == writePos_)
    readPos_ = writePos_ = 0;
  return count;
}
