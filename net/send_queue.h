#pragma once

#include <memory>
#include <vector>

#include "net/send_buffer.h"

// The send queue of a socket: owned blocks, oldest first. A stream's data is
// packed into blocks of BlockSize; a datagram always gets a block of its own,
// sized to hold it whole, because a datagram must never be split.
class TSendQueue {
public:
  int BlockSize = 1460;

  // Appends Len bytes, topping up the last block first. Returns false (and
  // changes nothing) for a null pointer or Len <= 0.
  bool QueueData(const void* Data, int Len);
  // Appends one datagram as a block of its own.
  bool QueueDatagram(const void* Data, int Len);

  // The block being sent, or null when the queue holds none.
  TBuffer* Front() const { return blocks_.empty() ? nullptr : blocks_.front().get(); }
  // Frees the first block while it is empty and more than one is queued; the
  // last block stays for the next QueueData. Returns true when one was freed.
  bool DropEmptyFront();
  void DeleteSendQueue() { blocks_.clear(); }

  int BlockCount() const { return static_cast<int>(blocks_.size()); }
  TBuffer* Block(int Index) const { return blocks_.at(static_cast<std::size_t>(Index)).get(); }
  long long PendingBytes() const;

private:
  std::vector<std::unique_ptr<TBuffer>> blocks_;
};
