#pragma once

#include <deque>
#include <memory>
#include <vector>

#include "net/send_buffer.h"

// The send queue of a socket: owned blocks, oldest first. A stream's data is
// packed into blocks of BlockSize; a datagram always gets a block of its own,
// sized to hold it whole, because a datagram must never be split.
class TSendQueue {
public:
  int BlockSize = 1460;  // one TCP segment on Ethernet

  // Appends len bytes, topping up the last block first. Returns false (and
  // changes nothing) for a null pointer or len <= 0.
  bool QueueData(const void* data, int len);
  // Appends one datagram as a block of its own.
  bool QueueDatagram(const void* data, int len);

  // The block being sent, or null when the queue holds none.
  TBuffer* Front() const { return blocks_.empty() ? nullptr : blocks_.front().get(); }
  // Frees the first block while it is empty and more than one is queued; the
  // last block stays for the next QueueData. Returns true when one was freed.
  bool DropEmptyFront();
  void DeleteSendQueue();

  // The unread bytes at the front as one run, for one send call: the first
  // block's own bytes, or, when max allows more and more blocks follow, up to
  // max bytes of consecutive blocks copied together. Null and 0 when the first
  // block holds nothing unread. Valid until the queue next changes.
  const unsigned char* PeekRun(int max, int& len);
  // Takes up to count bytes from the front across blocks, freeing each block
  // it empties while another follows. Returns the count taken.
  int Consume(int count);
  // Changes whenever the queue is deleted, so a caller can tell that the
  // blocks it looked at are gone.
  unsigned Generation() const { return generation_; }

  int BlockCount() const { return static_cast<int>(blocks_.size()); }
  TBuffer* Block(int index) const { return blocks_.at(static_cast<std::size_t>(index)).get(); }
  long long PendingBytes() const;

private:
  std::deque<std::unique_ptr<TBuffer>> blocks_;
  std::vector<unsigned char> run_;
  unsigned generation_ = 0;
};
