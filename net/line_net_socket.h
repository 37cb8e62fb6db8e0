#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "net/socks_net_socket.h"

// The line-mode layer. With LineMode on, received bytes collect in a buffer of
// the socket's own and reach OnDataAvailable one complete line (with its
// LineEnd) at a time: RcvdCount is the line's length and ReceiveData returns
// bytes of that line only. Optionally echoes what arrives and applies
// backspace and tab editing. With LineMode off it is transparent, except for
// bytes still held from line-mode times, which are read first.
class TCustomLineNetSocket : public TCustomSocksNetSocket {
public:
  explicit TCustomLineNetSocket(TComponent* owner);
  ~TCustomLineNetSocket() override;

  bool LineMode() const { return lineMode_; }
  void AssignLineMode(bool value);
  int LineLimit = 65536;  // 0 or less: no limit
  std::string LineEnd = "\r\n";
  bool LineEcho = false;
  bool LineEdit = false;
  TLineLimitEvent OnLineLimitExceeded;

  void NotifyLineLimitExceeded(int rcvdLength, bool& clearData);
  // Edits the count bytes just read behind the held ones (backspace, tab).
  void ScanLine(int& count);
  // The text, then LineEnd; returns the bytes queued, 0 for an empty text
  // (which sends nothing) and -1 when the send is refused.
  int SendTextLine(const std::string& text);

  void HandleWindowMessage(TSocketMessage& message) override;
  int ReadRcvdCount() override;
  int RawRecv(void* buffer, int bufferSize, int flags) override;
  bool NotifyDataAvailable(std::uint16_t ErrCode) override;
  void NotifySessionClosed(std::uint16_t ErrCode) override;

protected:
  void BeginSession() override;
  int HeldReceivedBytes() const override { return lineBufferCount_ + TCustomSocksNetSocket::HeldReceivedBytes(); }
  // The bytes the layer holds, from the start of the line being collected.
  std::string_view HeldBytes() const { return {lineBuffer_.get(), static_cast<std::size_t>(lineBufferCount_)}; }

private:
  void HandleLineRetrigger();
  bool LineHandling() const { return lineMode_ && !LineEnd.empty(); }
  void DeliverArrival();
  // At the close: the held bytes as a last line without terminator, then
  // the buffer goes.
  void DeliverLastLine();
  // Offers the line at the front until it is received, dropped or left in
  // non-line mode, then the held bytes in non-line mode; false when the
  // session ended meanwhile or the handler left the line unread.
  bool DeliverFrontLine(const std::shared_ptr<const bool>& alive, unsigned serial);
  // Removes the received part of the line being delivered; its unread part
  // stays at the front, followed by the bytes behind its terminator.
  void CloseDeliveredLine();
  void CheckLineLimit(const std::shared_ptr<const bool>& alive, unsigned serial);
  // Removes what is left of a line the limit dropped, up to and with its
  // LineEnd; false when all held bytes belonged to it.
  bool SkipDroppedLine();
  int FindLineEnd(int start) const;
  void ReserveLineBuffer(int size);
  void ReleaseLineBuffer();
  void EndDelivery(unsigned serial);
  bool SessionGone(const std::shared_ptr<const bool>& alive, unsigned serial) const
  {
    return !*alive || serial != SessionSerial();
  }

  std::unique_ptr<char[]> lineBuffer_;
  int lineBufferSize_ = 0;
  int lineBufferCount_ = 0;
  bool lineMode_ = false;
  int pendingLineLength_ = 0;
  bool lineSeen_ = false;
  bool dropOnLimit_ = false;
  // Length of the line at the front as it was found; its rest lies behind
  // it while the line is handed out. 0 when no line is being delivered.
  int deliveredLineLength_ = 0;
  // Held bytes may hold lines that no scan has seen yet (line mode switched
  // on, or a line left unread held them back).
  bool heldBytesUnscanned_ = false;
  // A delivery is under way. A handler that runs a message loop may let a
  // read notification or a request to offer the held bytes in meanwhile;
  // each waits until the delivery ends, then is posted again.
  bool delivering_ = false;
  // The limit dropped the start of a line whose end has not come yet, and the
  // last bytes dropped, which may hold the start of its LineEnd.
  bool skippingDroppedLine_ = false;
  std::string droppedTail_;
  bool socketReadDeferred_ = false;
  bool heldBytesOfferDeferred_ = false;
};
