#pragma once
// TtyPort: the tool's one connection to a serial device, with its reader thread and the receive
// side that turns chunks into lines and matches them against the expected texts.
//
// Thread contract
//  - UI thread: Open, Close, Write, SetupLine (inside Open), AddExpected, ClearExpected,
//    IsMatched, and the destructor at program end.
//  - Reader thread (one, between a successful Open and the end of the following Close):
//    ReaderLoop, Read, ReceiveChunk.
//  - Shared words, all atomic: connected, readerThread, matched, expectCount, and the capture
//    counters of ResponseCapture. receiveMutex_ guards the expected texts and the line-end work
//    (counting, capture, matching), so a table update never meets a half-processed line.
//  - When the reader sets matched it wakes the UI thread (platform::WakeUiThread); it makes no
//    Qt call of any kind.
//  - Close clears connected, then empties the event mask, which ends the reader's wait; it
//    releases the device only after the reader has cleared readerThread as its last act.
//  - The reader wakes the UI thread (platform::WakeUiThread) at every line end, so a wait for
//    the end of an answer sleeps until a line comes rather than polling.
//  - The transcript: the reader only queues each line it ends; the UI thread records what it
//    sends and the port's events, and writes the queue out.

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>
#include <string_view>

#include "platform/port_check.h"
#include "platform/serial_device.h"
#include "serial/response_capture.h"
#include "serial/transcript.h"

namespace serial {

inline constexpr int kLineBufSize = 256;
inline constexpr int kMaxExpected = 30;
inline constexpr int kExpectTextSize = 100;  // 99 characters and a NUL
inline constexpr unsigned kChunkSize = 80;

class TtyPort {
 public:
  TtyPort();
  virtual ~TtyPort();
  TtyPort(const TtyPort&) = delete;
  TtyPort& operator=(const TtyPort&) = delete;

  // Opens deviceName ("COM3", resolved by DevicePathFor) at 19200 8N1, starts the
  // reader and raises DTR. Returns 1 when open; 0 when already open, while a Close is waiting
  // for its reader, or when the device is missing, busy or refuses the settings (nothing stays
  // open then; the reason is on the debug output, in LastOpenFailure and in the transcript).
  [[nodiscard]] int Open(const char* deviceName);
  // UI thread: why the last Open that returned 0 failed (the device checked again right after).
  [[nodiscard]] const platform::OpenCheck& LastOpenFailure() const { return openFailure_; }
  // UI thread: the name the last Open was given ("COM3"); empty before the first.
  [[nodiscard]] const std::string& ComName() const { return comName_; }
  // UI thread: an event of this port in the transcript ('!'); nothing while none is open.
  void NoteEvent(std::string_view text);
  // UI thread: platform::NowMs() of the last write; 0 before the first.
  [[nodiscard]] int64_t LastWriteMs() const { return lastWriteMs_; }
  // Stops the reader, drops DTR, purges and releases the device. Always 1.
  int Close();
  // Sends the bytes unchanged, recorded in the transcript first. 1 when the write was accepted
  // (even if it timed out after 1000 ms with bytes left; the debug output and the transcript say
  // so), 0 when it failed at once or no port is open.
  [[nodiscard]] int Write(const void* data, int length);
  // Applies the fixed line settings; non-zero when the device accepted them.
  [[nodiscard]] int SetupLine();
  // Reader thread: up to maxBytes of what is already queued; never waits for more. 0 when none.
  [[nodiscard]] unsigned Read(char* buffer, unsigned maxBytes);
  // Reader thread body.
  void ReaderLoop();
  // UI thread: the reader ended because the device went away (hang-up or I/O error) while the
  // port was open; cleared by the next Open. Nothing written to the port can arrive then.
  [[nodiscard]] bool DeviceLost() const { return deviceLost_.load(); }

  // Reader thread: line assembly, capture and matching for one received chunk.
  void ReceiveChunk(const char* data, unsigned length);
  // UI thread: stores text (at most 99 characters are kept) and clears matched; a 31st text is
  // ignored and leaves matched alone.
  void AddExpected(const char* text);
  // UI thread: forgets the texts; matched is left as it is.
  void ClearExpected();
  // UI thread: 1 once a line holding an expected text has ended since the last AddExpected.
  [[nodiscard]] int IsMatched() const;
  // UI thread: which expected text (0 for the first added) the matching line held; -1 before a
  // match.
  [[nodiscard]] int MatchedIndex() const { return matchedIndex_.load(); }
  // UI thread: the last line that ended since ClearLastLine (at most 79 characters; empty when
  // none did), for saying what came back instead of an expected text.
  void CopyLastLine(char (&out)[80]);
  void ClearLastLine();

  // The capture of the second line of an answer, filled by the reader.
  ResponseCapture capture;
  // The run's transcript: closed unless --transcript opened it. It records every port event.
  Transcript transcript;

  platform::SerialDevice handle;
  std::atomic<int> connected{0};
  uint8_t byteSize = 8;
  uint8_t flowFlags = 0;  // bit 0 DSR/DTR, bit 1 CTS/RTS, bit 2 XON/XOFF handshake
  uint8_t parity = 0;     // none
  uint8_t stopBits = 0;   // one
  uint32_t baudRate = 19200;
  std::atomic<bool> readerThread{false};  // a reader runs; it clears this as its last act

  uint16_t linePos = 0;
  std::atomic<uint16_t> expectCount{0};
  std::atomic<int> matched{0};
  char lineBuf[kLineBufSize] = {};
  char expectTexts[kMaxExpected][kExpectTextSize] = {};

 private:
  void EndLine();
  void MatchLine();  // with receiveMutex_ held

  std::mutex receiveMutex_;
  char lastLine_[80] = {};  // guarded by receiveMutex_
  std::atomic<bool> deviceLost_{false};
  std::atomic<int> matchedIndex_{-1};
  bool inTerminatorRun_ = false;  // carried across chunks: a CR LF split by a read ends one line
  bool closing_ = false;          // UI thread only: a Close is waiting for its reader
  // Written by the UI thread only while no reader runs (Open), read by the reader for the
  // transcript: the thread's start orders the two.
  std::string comName_;
  platform::OpenCheck openFailure_;  // UI thread only
  int64_t lastWriteMs_ = 0;          // UI thread only
};

// Entry of the reader thread.
void ReaderThreadMain(TtyPort* port);

}  // namespace serial
