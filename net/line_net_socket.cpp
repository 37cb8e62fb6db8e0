#include "net/line_net_socket.h"

#include <algorithm>
#include <cstring>
#include <string>

namespace {

// A tab advances to the next multiple of this, by one blank at least.
constexpr int kTabWidth = 8;
// Held bytes offered again in line mode: from this round on, a round that
// finds no complete line ends the offers.
constexpr int kRoundsBeforeGivingUp = 4;

}  // namespace

TCustomLineNetSocket::TCustomLineNetSocket(TComponent* owner) : TCustomSocksNetSocket(owner) {}

TCustomLineNetSocket::~TCustomLineNetSocket()
{
  lineBuffer_.reset();
}

void TCustomLineNetSocket::AssignLineMode(bool value)
{
  if (value == lineMode_)
    return;
  lineMode_ = value;
  skippingDroppedLine_ = false;  // a line of the other mode's making
  droppedTail_.clear();
  if (value)
    heldBytesUnscanned_ = true;
  else
    // A handler that switches line mode off and reads on at once must get the
    // rest of its line and what follows it, in order.
    CloseDeliveredLine();
  if (lineBufferCount_ > 0 || pendingLineLength_ > 0)
    PostMessageA(HiddenWindow(), WM_SOCKET_LINE_RETRIGGER, 0, 0);
}

void TCustomLineNetSocket::NotifyLineLimitExceeded(int rcvdLength, bool& clearData)
{
  if (OnLineLimitExceeded)
    OnLineLimitExceeded(this, rcvdLength, clearData);
}

int TCustomLineNetSocket::SendTextLine(const std::string& text)
{
  if (text.empty())
    return 0;
  // One send: refused, it leaves nothing queued for a later session.
  return SendText(text + LineEnd);
}

void TCustomLineNetSocket::ReserveLineBuffer(int size)
{
  if (size <= lineBufferSize_)
    return;
  std::unique_ptr<char[]> grown(new char[static_cast<std::size_t>(size)]);
  if (lineBuffer_)
    std::memcpy(grown.get(), lineBuffer_.get(), static_cast<std::size_t>(lineBufferSize_));
  lineBuffer_ = std::move(grown);
  lineBufferSize_ = size;
}

int TCustomLineNetSocket::FindLineEnd(int start) const
{
  const int endLength = static_cast<int>(LineEnd.size());
  const char first = LineEnd[0];
  const char* data = lineBuffer_.get();
  for (int pos = std::max(0, start); pos + endLength <= lineBufferCount_; ++pos) {
    const void* hit = std::memchr(data + pos, first, static_cast<std::size_t>(lineBufferCount_ - endLength - pos + 1));
    if (hit == nullptr)
      return -1;
    pos = static_cast<int>(static_cast<const char*>(hit) - data);
    if (std::memcmp(data + pos, LineEnd.data(), static_cast<std::size_t>(endLength)) == 0)
      return pos;
  }
  return -1;
}

void TCustomLineNetSocket::CloseDeliveredLine()
{
  if (deliveredLineLength_ > 0 && lineBuffer_) {
    const int rest = lineBufferCount_ - deliveredLineLength_;
    std::memmove(lineBuffer_.get() + pendingLineLength_, lineBuffer_.get() + deliveredLineLength_,
                 static_cast<std::size_t>(rest));
    lineBufferCount_ = pendingLineLength_ + rest;
  }
  deliveredLineLength_ = 0;
  pendingLineLength_ = 0;
  if (lineBuffer_)
    lineBuffer_[static_cast<std::size_t>(lineBufferCount_)] = '\0';
}

int TCustomLineNetSocket::ReadRcvdCount()
{
  if (pendingLineLength_ > 0 || LineHandling())
    return pendingLineLength_;
  return TCustomSocksNetSocket::ReadRcvdCount();
}

int TCustomLineNetSocket::RawRecv(void* buffer, int bufferSize, int flags)
{
  char* data = lineBuffer_.get();
  if (bufferSize > 0 && pendingLineLength_ > 0) {
    if (bufferSize >= pendingLineLength_) {
      const int count = pendingLineLength_;
      std::memcpy(buffer, data, static_cast<std::size_t>(count));
      pendingLineLength_ = 0;
      return count;
    }
    std::memcpy(buffer, data, static_cast<std::size_t>(bufferSize));
    // Only the line moves up; the bytes behind it stay where they are.
    std::memmove(data, data + bufferSize, static_cast<std::size_t>(pendingLineLength_ - bufferSize));
    pendingLineLength_ -= bufferSize;
    return bufferSize;
  }
  if (bufferSize > 0 && !LineHandling() && lineBufferCount_ > 0) {
    if (bufferSize >= lineBufferCount_) {
      const int count = lineBufferCount_;
      std::memcpy(buffer, data, static_cast<std::size_t>(count));
      lineBufferCount_ = 0;
      data[0] = '\0';
      return count;
    }
    std::memcpy(buffer, data, static_cast<std::size_t>(bufferSize));
    std::memmove(data, data + bufferSize, static_cast<std::size_t>(lineBufferCount_ - bufferSize + 1));
    lineBufferCount_ -= bufferSize;
    return bufferSize;
  }
  return TCustomSocksNetSocket::RawRecv(buffer, bufferSize, flags);
}

bool TCustomLineNetSocket::NotifyDataAvailable(std::uint16_t ErrCode)
{
  if (!LineHandling() || Negotiating())
    return TCustomSocksNetSocket::NotifyDataAvailable(ErrCode);
  if (delivering_) {
    // Reached from a message loop that a handler runs: the bytes wait in the
    // socket until the delivery under way has finished.
    socketReadDeferred_ = true;
    return true;
  }
  const auto alive = AliveFlag();
  const unsigned serial = SessionSerial();
  delivering_ = true;
  try {
    DeliverArrival();
  } catch (...) {
    if (*alive) {
      if (serial == SessionSerial()) {
        // A line the handler took whole before it threw goes; one it left
        // unread comes again first. The lines behind it are looked for anew.
        if (pendingLineLength_ == 0)
          CloseDeliveredLine();
        heldBytesUnscanned_ = true;
      }
      EndDelivery(serial);
    }
    throw;
  }
  if (*alive)
    EndDelivery(serial);
  return true;
}

void TCustomLineNetSocket::EndDelivery(unsigned serial)
{
  delivering_ = false;
  if (socketReadDeferred_) {
    socketReadDeferred_ = false;
    // The bytes that wait are the delivered session's; a handler may have
    // opened another one meanwhile.
    if (serial == SessionSerial() && SocketHandle() != INVALID_SOCKET)
      PostMessageA(HiddenWindow(), WM_SOCKET_SELECT, static_cast<WPARAM>(SocketHandle()),
                   WSAMAKESELECTREPLY(FD_READ, 0));
  }
  if (heldBytesOfferDeferred_) {
    heldBytesOfferDeferred_ = false;
    if (lineBufferCount_ > 0)
      PostMessageA(HiddenWindow(), WM_SOCKET_LINE_RETRIGGER, 0, 0);
  }
}

void TCustomLineNetSocket::DeliverArrival()
{
  const auto alive = AliveFlag();
  const unsigned serial = SessionSerial();
  if (pendingLineLength_ > 0) {
    // A line whose handler stopped reading it comes before anything new.
    if (!DeliverFrontLine(alive, serial))
      return;
    heldBytesUnscanned_ = true;
    if (!LineHandling()) {
      socketReadDeferred_ = true;  // what waits in the socket is for non-line reading now
      return;
    }
  }
  int waiting = TCustomSocksNetSocket::ReadRcvdCount();
  if (SessionGone(alive, serial) || waiting < 0)
    return;
  if (waiting == 0)
    waiting = kReadSizeWhenNoneCounted;
  ReserveLineBuffer(lineBufferCount_ + waiting + 1);
  int got = ReceiveData(lineBuffer_.get() + lineBufferCount_, waiting);
  if (got <= 0) {
    if (lineBufferCount_ == 0)
      return;
    got = 0;
  }
  const bool rescan = got == 0 || heldBytesUnscanned_;
  heldBytesUnscanned_ = false;
  if (got > 0) {
    if (LineEdit)
      ScanLine(got);
    else if (LineEcho)
      Send(lineBuffer_.get() + lineBufferCount_, got);
    if (SessionGone(alive, serial))
      return;
  }
  // Starting a little before the new bytes finds a terminator split across
  // two reads.
  int start = rescan ? 0 : std::max(0, lineBufferCount_ - static_cast<int>(LineEnd.size()));
  lineBufferCount_ += got;
  lineBuffer_[static_cast<std::size_t>(lineBufferCount_)] = '\0';
  if (skippingDroppedLine_) {
    if (!SkipDroppedLine())
      return;
    start = 0;
  }
  while (LineHandling()) {
    const int pos = FindLineEnd(start);
    if (pos < 0) {
      CheckLineLimit(alive, serial);
      return;
    }
    pendingLineLength_ = pos + static_cast<int>(LineEnd.size());
    deliveredLineLength_ = pendingLineLength_;
    lineSeen_ = true;
    if (!DeliverFrontLine(alive, serial))
      return;
    start = 0;
  }
  return;
}

bool TCustomLineNetSocket::DeliverFrontLine(const std::shared_ptr<const bool>& alive, unsigned serial)
{
  while (lineMode_ && pendingLineLength_ > 0) {
    const int before = pendingLineLength_;
    if (!TCustomSocksNetSocket::NotifyDataAvailable(0)) {
      pendingLineLength_ = 0;  // no handler: the line is dropped
      break;
    }
    if (SessionGone(alive, serial))
      return false;
    // A handler that takes nothing would be called for ever: the line stays
    // for the next notification.
    if (lineMode_ && pendingLineLength_ == before)
      return false;
  }
  CloseDeliveredLine();
  while (!lineMode_ && lineBufferCount_ > 0) {
    const int before = lineBufferCount_;
    if (!TCustomSocksNetSocket::NotifyDataAvailable(0))
      break;
    if (SessionGone(alive, serial))
      return false;
    if (!lineMode_ && lineBufferCount_ >= before)
      break;
  }
  return true;
}

void TCustomLineNetSocket::CheckLineLimit(const std::shared_ptr<const bool>& alive, unsigned serial)
{
  if (LineLimit <= 0 || lineBufferCount_ <= LineLimit)
    return;
  dropOnLimit_ = true;
  NotifyLineLimitExceeded(lineBufferCount_, dropOnLimit_);
  if (!*alive || !dropOnLimit_)
    return;
  dropOnLimit_ = false;
  if (serial != SessionSerial())
    return;  // the handler ended the session: its bytes went with it
  // What follows of the line up to its terminator goes too, or a peer could
  // pad a line and have its tail read as a line of its own.
  const int keep = std::max(0, std::min(lineBufferCount_, static_cast<int>(LineEnd.size()) - 1));
  droppedTail_.assign(lineBuffer_.get() + lineBufferCount_ - keep, static_cast<std::size_t>(keep));
  skippingDroppedLine_ = true;
  pendingLineLength_ = 0;
  deliveredLineLength_ = 0;
  lineBufferCount_ = 0;
  lineBuffer_[0] = '\0';
}

bool TCustomLineNetSocket::SkipDroppedLine()
{
  const int endLength = static_cast<int>(LineEnd.size());
  char* data = lineBuffer_.get();
  // A terminator begun among the dropped bytes ends within the first few.
  const int head = std::min(lineBufferCount_, endLength - 1);
  const std::string joined = droppedTail_ + std::string(data, static_cast<std::size_t>(head));
  const std::size_t split = joined.find(LineEnd);
  int end = -1;
  if (split != std::string::npos)
    end = static_cast<int>(split) + endLength - static_cast<int>(droppedTail_.size());
  else if (const int pos = FindLineEnd(0); pos >= 0)
    end = pos + endLength;
  if (end < 0) {
    const int keep = endLength - 1;
    if (lineBufferCount_ >= keep) {
      droppedTail_.assign(data + lineBufferCount_ - keep, static_cast<std::size_t>(keep));
    } else {
      droppedTail_.append(data, static_cast<std::size_t>(lineBufferCount_));
      if (droppedTail_.size() > static_cast<std::size_t>(keep))
        droppedTail_.erase(0, droppedTail_.size() - static_cast<std::size_t>(keep));
    }
    lineBufferCount_ = 0;
    data[0] = '\0';
    return false;
  }
  std::memmove(data, data + end, static_cast<std::size_t>(lineBufferCount_ - end + 1));  // with the zero byte
  lineBufferCount_ -= end;
  skippingDroppedLine_ = false;
  droppedTail_.clear();
  return true;
}

void TCustomLineNetSocket::ScanLine(int& count)
{
  const auto alive = AliveFlag();
  const unsigned serial = SessionSerial();
  // Echoes bytes back with LineEcho; false when a handler ended the session
  // meanwhile.
  const auto echo = [&](const char* bytes, int length) {
    if (!LineEcho)
      return true;
    Send(bytes, length);
    return !SessionGone(alive, serial);
  };
  const int old = lineBufferCount_;
  int out = old;
  int lowest = old;
  // The edited bytes from the start of the buffer, made at the first
  // backspace or tab; until then the bytes stay where they are.
  std::string work;
  bool editing = false;
  for (int i = 0; i < count; ++i) {
    const char ch = lineBuffer_[static_cast<std::size_t>(old + i)];
    if ((ch == '\b' || ch == '\t') && !editing) {
      work.assign(lineBuffer_.get(), static_cast<std::size_t>(out));
      editing = true;
    }
    bool echoed = true;
    if (ch == '\b') {
      if (out == 0)
        continue;  // nothing to take back
      echoed = echo("\b \b", 3);
      --out;
      work.pop_back();
      lowest = std::min(lowest, out);
    } else if (ch == '\t') {
      do {
        work += ' ';
        ++out;
        echoed = echo(" ", 1);
      } while (echoed && out % kTabWidth != 0);
    } else {
      echoed = echo(&ch, 1);
      if (editing)
        work += ch;
      ++out;
    }
    if (!echoed) {
      count = 0;
      return;
    }
  }
  if (!editing)
    return;
  ReserveLineBuffer(out + 1);
  std::memcpy(lineBuffer_.get(), work.data(), work.size());
  lineBuffer_[static_cast<std::size_t>(out)] = '\0';
  lineBufferCount_ = lowest;
  count = out - lowest;
}

void TCustomLineNetSocket::ReleaseLineBuffer()
{
  lineBuffer_.reset();
  lineBufferSize_ = 0;
  lineBufferCount_ = 0;
  pendingLineLength_ = 0;
  deliveredLineLength_ = 0;
  skippingDroppedLine_ = false;
  droppedTail_.clear();
}

void TCustomLineNetSocket::BeginSession()
{
  TCustomSocksNetSocket::BeginSession();
  // Held bytes are the earlier peer's, also where that session's close
  // never came to release them.
  ReleaseLineBuffer();
}

void TCustomLineNetSocket::NotifySessionClosed(std::uint16_t ErrCode)
{
  ReportEvenIfThrown([&] { DeliverLastLine(); }, [&] { TCustomSocksNetSocket::NotifySessionClosed(ErrCode); });
}

void TCustomLineNetSocket::DeliverLastLine()
{
  if (!lineBuffer_)
    return;
  // What the handler already received of a line is not offered again.
  CloseDeliveredLine();
  if (lineMode_ && lineBufferCount_ > 0 && !dropOnLimit_) {
    // The held bytes are a last line without terminator.
    const auto alive = AliveFlag();
    const bool nested = delivering_;
    delivering_ = true;
    pendingLineLength_ = lineBufferCount_;
    deliveredLineLength_ = lineBufferCount_;
    try {
      while (lineMode_ && pendingLineLength_ > 0) {
        const int before = pendingLineLength_;
        if (!TCustomSocksNetSocket::NotifyDataAvailable(0))
          break;
        if (!*alive)
          return;
        if (lineMode_ && pendingLineLength_ == before)
          break;
      }
    } catch (...) {
      // The session is over whatever the handler did: the next one starts
      // with an empty buffer and no delivery under way.
      if (*alive) {
        delivering_ = nested;
        ReleaseLineBuffer();
      }
      throw;
    }
    delivering_ = nested;
  }
  ReleaseLineBuffer();
}

void TCustomLineNetSocket::HandleWindowMessage(TSocketMessage& message)
{
  if (message.Msg != WM_SOCKET_LINE_RETRIGGER) {
    TCustomSocksNetSocket::HandleWindowMessage(message);
    return;
  }
  // As in the base dispatch: an exception outlives a socket its handler
  // freed, and is dropped then.
  const auto alive = AliveFlag();
  try {
    HandleLineRetrigger();
  } catch (...) {
    if (*alive)
      ProcessCaughtException();
  }
}

void TCustomLineNetSocket::HandleLineRetrigger()
{
  if (delivering_) {
    // A message loop inside a handler: the delivery under way offers the
    // held bytes itself, and asks again when it is done.
    heldBytesOfferDeferred_ = true;
    return;
  }
  const auto alive = AliveFlag();
  const unsigned serial = SessionSerial();
  int round = 0;
  while (lineBufferCount_ > 0) {
    ++round;
    lineSeen_ = false;
    const int before = lineBufferCount_;
    const bool modeBefore = lineMode_;
    NotifyDataAvailable(0);
    if (SessionGone(alive, serial) || lineBufferCount_ == 0)
      return;
    if (lineMode_) {
      if (round >= kRoundsBeforeGivingUp && !lineSeen_)
        return;
    } else {
      if (!OnDataAvailable)
        return;
      // A handler that takes nothing would keep this loop going for ever.
      if (modeBefore == lineMode_ && lineBufferCount_ >= before)
        return;
    }
  }
}
