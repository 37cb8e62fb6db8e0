#pragma once

#include <cstddef>
#include <memory>

// One fixed-size block of a socket's send queue: bytes are appended behind
// WritePos and taken out from ReadPos. Unread bytes never move forward, so the
// space before ReadPos is reused only once the block has been emptied.
class TBuffer {
public:
  explicit TBuffer(int size);

  TBuffer(const TBuffer&) = delete;
  TBuffer& operator=(const TBuffer&) = delete;

  // A size <= 0 becomes 1514. Shrinking below WritePos keeps only the bytes
  // that fit, so the positions never point past the storage.
  void SetBlockSize(int size);

  // Copies as much as fits behind WritePos; returns the count copied.
  int AppendData(const void* source, int len);
  // The first unread byte and the unread count, or null and 0.
  const unsigned char* PeekData(int& len) const;
  // Takes up to len unread bytes; returns the count taken.
  int ConsumeData(int len);

  int Capacity() const { return capacity_; }
  int WritePos() const { return writePos_; }
  int ReadPos() const { return readPos_; }
  int Pending() const { return writePos_ - readPos_; }

private:
  std::unique_ptr<unsigned char[]> data_;
  int capacity_ = 0;
  int writePos_ = 0;
  int readPos_ = 0;
};
