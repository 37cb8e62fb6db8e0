// Drives the send queue with a random series of queue, consume and drop steps
// and checks it against a plain byte string; then feeds the same input to the
// address text helpers and checks their answers against a simple reading.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "net/address_text.h"
#include "net/send_queue.h"
#include "platform/ascii_text.h"

namespace {

void Check(bool condition)
{
  if (!condition)
    std::abort();
}

// Four parts of digits, each at most 255, blanks allowed before and after.
bool ReferenceDottedQuad(const std::string& text)
{
  std::size_t i = 0;
  while (i < text.size() && text[i] == ' ')
    ++i;
  std::size_t end = text.size();
  while (end > i && text[end - 1] == ' ')
    --end;
  int parts = 0;
  while (i < end) {
    std::size_t digits = 0;
    unsigned value = 0;
    while (i < end && text[i] >= '0' && text[i] <= '9') {
      if (value <= 255)
        value = value * 10 + static_cast<unsigned>(text[i] - '0');
      ++i;
      ++digits;
    }
    if (digits == 0 || value > 255)
      return false;
    ++parts;
    if (i == end)
      break;
    if (text[i] != '.' || parts == 4)
      return false;
    ++i;
    if (i == end)
      return false;
  }
  return parts == 4;
}

void FuzzQueue(const std::uint8_t* data, std::size_t size)
{
  TSendQueue queue;
  queue.BlockSize = 1 + (size > 0 ? data[0] % 64 : 0);
  std::string model;
  for (std::size_t i = 1; i + 1 < size; i += 2) {
    const int amount = data[i + 1] % 200;
    switch (data[i] % 7) {
    case 0: {
      const std::string chunk(static_cast<std::size_t>(amount), static_cast<char>(i));
      if (queue.QueueData(chunk.data(), amount))
        model += chunk;
      else
        Check(amount == 0);
      break;
    }
    case 1: {
      TBuffer* front = queue.Front();
      if (front == nullptr)
        break;
      int len = 0;
      const unsigned char* bytes = front->PeekData(len);
      const int taken = front->ConsumeData(amount);
      Check(taken == (amount < len ? amount : len));
      Check(model.compare(0, static_cast<std::size_t>(taken), reinterpret_cast<const char*>(bytes),
                          static_cast<std::size_t>(taken)) == 0);
      model.erase(0, static_cast<std::size_t>(taken));
      break;
    }
    case 2: queue.DropEmptyFront(); break;
    case 3: {
      // A datagram is queued whole into the last block.
      const std::string chunk(static_cast<std::size_t>(amount), static_cast<char>(~i));
      if (queue.QueueDatagram(chunk.data(), amount)) {
        Check(queue.Block(queue.BlockCount() - 1)->Pending() == amount);
        model += chunk;
      } else {
        Check(amount == 0);
      }
      break;
    }
    case 4: {
      // A run is the front of the queue, as long as the limit and the first
      // block allow, and taking it off takes exactly those bytes.
      int len = 0;
      const unsigned char* run = queue.PeekRun(amount, len);
      const TBuffer* front = queue.Front();
      const int first = front == nullptr ? 0 : front->Pending();
      if (first == 0) {
        Check(len == 0 && run == nullptr);
        break;
      }
      const long long total = queue.PendingBytes();
      const long long expected =
          first >= amount || queue.BlockCount() == 1 ? first : std::min<long long>(amount, total);
      Check(len == expected);
      Check(model.compare(0, static_cast<std::size_t>(len), reinterpret_cast<const char*>(run),
                          static_cast<std::size_t>(len)) == 0);
      const int take = static_cast<int>(data[i + 1]) % (len + 1);
      Check(queue.Consume(take) == take);
      model.erase(0, static_cast<std::size_t>(take));
      break;
    }
    case 5:
      Check(queue.Consume(amount) == std::min<long long>(amount, static_cast<long long>(model.size())));
      model.erase(0, std::min<std::size_t>(static_cast<std::size_t>(amount), model.size()));
      if (amount > 0)
        Check(queue.BlockCount() <= 1 || queue.Front()->Pending() > 0);
      break;
    default:
      if (queue.Front() != nullptr && queue.Front()->Pending() == 0 && queue.BlockCount() > 1)
        Check(queue.DropEmptyFront());
      break;
    }
    Check(queue.PendingBytes() == static_cast<long long>(model.size()));
    for (int b = 0; b < queue.BlockCount(); ++b) {
      const TBuffer* block = queue.Block(b);
      Check(0 <= block->ReadPos() && block->ReadPos() <= block->WritePos() && block->WritePos() <= block->Capacity());
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
  FuzzQueue(data, size);
  const std::string text(reinterpret_cast<const char*>(data), size);
  Check(IsDottedQuad(text) == ReferenceDottedQuad(text));
  const std::uint32_t value = ParseDecimal(text);
  (void)value;
  (void)TrimText(text);
  const std::string lower = LowerAscii(text);
  Check(lower.size() == text.size());
  for (std::size_t i = 0; i < text.size(); ++i)
    Check(lower[i] == (text[i] >= 'A' && text[i] <= 'Z' ? static_cast<char>(text[i] + 32) : text[i]));
  return 0;
}
