#pragma once
// TtyPort: the tool's one connection to a serial device, with its reader thread, which feeds what
// it receives to the port's LineAssembler.
//
// Thread contract
//  - UI thread (the thread that made the port; a debug build checks it): Open, Close, Write,
//    SetupLine (inside Open), NoteEvent and the getters, and the destructor at program end. The
//    assembler's expected texts, match and last line are the UI thread's side of the receiving.
//  - Reader thread (one, between a successful Open and the end of the following Close):
//    ReaderLoop, Read, and the assembler's Receive.
//  - Shared words, all atomic: connected, readerRunning, the assembler's match and count, and the
//    capture counters of ResponseCapture. The assembler's mutex guards the expected texts and the
//    line-end work (counting, capture, matching), so a table update never meets a half-processed
//    line.
//  - When the reader stores a match it wakes the UI thread (the waits' UiWaker); it makes no Qt
//    call of any kind.
//  - Close clears connected, then stops the receive watch, which ends the reader's wait; it
//    releases the device only after the reader has cleared readerRunning as its last act.
//  - The reader wakes the UI thread at every line end, so a wait for the end of an answer sleeps
//    until a line comes rather than polling. Its last wake-up, after it has cleared readerRunning,
//    goes through a UiWaker of its own, which outlives the port.
//  - The transcript: the reader only queues each line it ends; the UI thread records what it
//    sends and the port's events, and writes the queue out.

#include <atomic>
#include <cstdint>
#include <string>
#include <string_view>

#include "platform/port_check.h"
#include "platform/serial_device.h"
#include "platform/ui_waits.h"
#include "serial/line_assembler.h"
#include "serial/port_names.h"
#include "serial/response_capture.h"
#include "serial/thread_check.h"
#include "serial/transcript.h"

namespace serial {

// What one read takes at most; a read size, not a line size.
inline constexpr unsigned kChunkSize = 80;

class TtyPort {
 public:
  // waits: the UI thread's waits, which the reader wakes; it must outlive the port.
  explicit TtyPort(platform::UiWaits& waits);
  virtual ~TtyPort();
  TtyPort(const TtyPort&) = delete;
  TtyPort& operator=(const TtyPort&) = delete;

  enum class OpenResult {
    kOpened,   // the device is open, the reader started (or said why it could not) and DTR is up
    kRefused,  // nothing was opened; the reason is in LastOpenFailure
  };

  // Opens deviceName ("COM3", resolved by ports.DevicePathFor) at 19200 8N1, starts the
  // reader and raises DTR. kRefused when already open, while a Close is waiting for its reader,
  // or when the device is missing, busy or refuses the settings (nothing stays open then; the
  // reason is on the debug output, in LastOpenFailure and in the transcript).
  [[nodiscard]] OpenResult Open(const char* deviceName, const PortMap& ports);
  // UI thread: why the last Open that was refused failed (with who held the device, or who may
  // open it, looked up right after).
  [[nodiscard]] const platform::OpenCheck& LastOpenFailure() const { return openFailure_; }
  // UI thread: the name the last Open was given ("COM3"); empty before the first.
  [[nodiscard]] const std::string& ComName() const { return comName_; }
  // UI thread: an event of this port in the transcript ('!'); nothing while none is open.
  void NoteEvent(std::string_view text);
  // UI thread: platform::NowMs() of the last write; 0 before the first.
  [[nodiscard]] int64_t LastWriteMs() const { return lastWriteMs_; }
  // Stops the reader, drops DTR, purges and releases the device; nothing when none is open.
  void Close();
  // Sends the bytes unchanged, recorded in the transcript first. True when the write was
  // accepted (even if it timed out after 1000 ms with bytes left; the debug output and the
  // transcript say so), false when it failed at once or no port is open.
  [[nodiscard]] bool Write(const void* data, int length);
  // Applies the fixed line settings; true when the device accepted them.
  [[nodiscard]] bool SetupLine();
  // Reader thread: up to maxBytes of what is already queued; never waits for more. 0 when none.
  [[nodiscard]] unsigned Read(char* buffer, unsigned maxBytes);
  // Reader thread body.
  void ReaderLoop();
  // UI thread: the reader ended because the device went away (hang-up or I/O error) while the
  // port was open; cleared by the next Open. Nothing written to the port can arrive then.
  [[nodiscard]] bool DeviceLost() const { return deviceLost_.load(); }

  // The capture of the second line of an answer, filled by the reader.
  ResponseCapture capture;
  // The run's transcript: closed unless --transcript opened it. It records every port event.
  Transcript transcript;
  // The receive side: lines, capture and matching. Fed by the reader; its expected texts, match
  // and last line are read and set by the UI thread.
  LineAssembler assembler;

  platform::SerialDevice device;
  std::atomic<bool> connected{false};
  uint8_t byteSize = 8;
  platform::FlowControl flow;  // no handshake
  platform::Parity parity = platform::Parity::kNone;
  platform::StopBits stopBits = platform::StopBits::kOne;
  uint32_t baudRate = 19200;
  std::atomic<bool> readerRunning{false};  // a reader runs; it clears this as its last act

 private:
  platform::UiWaits& waits_;
  std::atomic<bool> deviceLost_{false};
  ThreadCheck uiThread_;
  bool closing_ = false;  // UI thread only: a Close is waiting for its reader
  // Written by the UI thread only while no reader runs (Open), read by the reader for the
  // transcript: the thread's start orders the two.
  std::string comName_;
  platform::OpenCheck openFailure_;  // UI thread only
  int64_t lastWriteMs_ = 0;          // UI thread only
};

// Entry of the reader thread.
void ReaderThreadMain(TtyPort* port);

}  // namespace serial
