#include "serial/tty_port.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstring>
#include <string>
#include <system_error>
#include <thread>

#include "platform/clock.h"
#include "platform/debug_output.h"
#include "platform/event_fd.h"
#include "platform/message_pump.h"
#include "platform/sys_error.h"
#include "serial/port_names.h"
#include "serial/response_capture.h"
#include "serial/transcript.h"

namespace serial {

namespace {
// A write gives up after this plus kWriteMsPerByteNumerator / baudRate ms per byte: at 19200
// baud the per-byte part is 0 and the whole write has one second.
constexpr int kWriteTimeoutConstantMs = 1000;
constexpr unsigned kWriteMsPerByteNumerator = 4800;
}  // namespace

TtyPort::TtyPort() = default;

TtyPort::~TtyPort() { Close(); }

int TtyPort::Open(const char* deviceName) {
  if (connected.load() || closing_) {
    openFailure_ = {};
    openFailure_.verdict = platform::OpenVerdict::kFailed;
    openFailure_.detail = connected.load() ? "a port is already open" : "the port is still closing";
    return 0;
  }
  expectCount.store(0);
  deviceLost_.store(false);
  comName_ = deviceName;

  std::string path = DevicePathFor(deviceName);
  if (!handle.Open(path.c_str())) {
    // The open keeps no reason of its own; a second look says which step failed and who holds
    // the device, for the user rather than for the code.
    openFailure_ = platform::CheckPortOpen(path.c_str());
    NoteEvent("open " + path + " failed: " + platform::DescribeOpenCheck(openFailure_));
    return 0;
  }
  handle.SetEventMask(platform::kEventRxChar);
  handle.Purge();
  int result = SetupLine();
  if (!result) {
    platform::DebugOutputF("Open %.200s failed: line settings refused", path.c_str());
    connected.store(0);
    handle.Close();
    openFailure_ = {};
    openFailure_.verdict = platform::OpenVerdict::kFailed;
    openFailure_.detail = "the line settings were refused";
    NoteEvent("open " + path + " failed: the line settings were refused");
    return 0;
  }
  NoteEvent("open " + path);

  connected.store(1);
  platform::AttachUiWakeup();
  // Set before the thread exists: the thread clears it as its very last act.
  readerThread.store(true);
  try {
    std::thread(ReaderThreadMain, this).detach();
  } catch (const std::system_error& error) {
    readerThread.store(false);
    platform::DebugOutputF("Reader thread not started: %.200s", error.what());
  }
  handle.SetDtr(true);
  return result;
}

int TtyPort::Close() {
  if (!connected.load()) return 1;
  connected.store(0);
  closing_ = true;
  handle.SetEventMask(0);
  // Handlers run during this wait; an Open among them is refused until the device is released,
  // so this Close never releases a device opened meanwhile.
  while (readerThread.load()) platform::DelayPumping(100);
  handle.SetDtr(false);
  handle.Purge();
  handle.Close();
  closing_ = false;
  // The reader has ended: every line it queued comes before the close.
  NoteEvent("close");
  return 1;
}

void TtyPort::NoteEvent(std::string_view text) {
  if (transcript.IsOpen()) transcript.Event(comName_, text);
}

int TtyPort::Write(const void* data, int length) {
  if (!handle.IsOpen() || length < 0) return 0;
  int timeoutMs =
      kWriteTimeoutConstantMs + static_cast<int>(kWriteMsPerByteNumerator / baudRate) * length;
  // Recorded before the write: the echo the reader queues can come back before write() returns.
  if (transcript.IsOpen())
    transcript.Sent(comName_, std::string_view(static_cast<const char*>(data), size_t(length)));
  platform::WriteResult result = handle.Write(data, static_cast<size_t>(length), timeoutMs);
  lastWriteMs_ = platform::NowMs();
  if (result.failedAtOnce) {
    NoteEvent("write failed: " + platform::DescribeErrno(result.error));
    return 0;
  }
  if (!result.waited) return 1;
  if (result.total == length) {
    platform::DebugOutputF("%ld bytes written", result.total);
  } else {
    platform::DebugOutputF("Probable Write Timeout: Total of %ld bytes sent", result.total);
    NoteEvent("write time-out: " + std::to_string(result.total) + " of " + std::to_string(length) +
              " bytes sent");
  }
  return 1;
}

int TtyPort::SetupLine() {
  platform::LineSettings settings;
  settings.baudRate = baudRate;
  settings.byteSize = byteSize;
  settings.parity = parity;
  settings.stopBits = stopBits;
  settings.flowFlags = flowFlags;
  return handle.ApplyLineSettings(settings) ? 1 : 0;
}

unsigned TtyPort::Read(char* buffer, unsigned maxBytes) {
  unsigned wanted = std::min(maxBytes, handle.QueuedInput());
  if (wanted == 0) return 0;
  int error = 0;
  long got = handle.Read(buffer, wanted, &error);
  if (got >= 0) return static_cast<unsigned>(got);
  // The queue said there were bytes; another reader took them. The next event brings more.
  if (error == EAGAIN) platform::DebugOutput("IO Pending");
  return 0;
}

void ReaderThreadMain(TtyPort* port) { port->ReaderLoop(); }

void TtyPort::ReaderLoop() {
  {
    platform::EventFd wakeup;
    if (!wakeup.Valid()) {
      platform::ShowMessageFromAnyThread("Failed to create event for thread!", "TTY Error!");
    } else {
      handle.SetWakeupFd(wakeup.Fd());
      handle.SetEventMask(platform::kEventRxChar);
      char chunk[kChunkSize];
      while (connected.load()) {
        platform::WaitResult event = handle.WaitEvent();
        if (event == platform::WaitResult::kLost) {
          // The port stays open for the UI; its transactions end by time-out.
          platform::DebugOutput("Device lost: the reader stops");
          deviceLost_.store(true);
          break;
        }
        if (event != platform::WaitResult::kRxChar) continue;
        while (unsigned got = Read(chunk, kChunkSize)) ReceiveChunk(chunk, got);
      }
      handle.SetWakeupFd(-1);
    }
  }
  readerThread.store(false);  // last access to this object
  // A UI thread waiting for the reader to end looks again now rather than at its next event.
  platform::WakeUiThread();
}

void TtyPort::ReceiveChunk(const char* data, unsigned length) {
  for (unsigned i = 0; i < length; ++i) {
    char c = data[i];
    if (c != '\r' && c != '\n') {
      inTerminatorRun_ = false;
      lineBuf[linePos++] = c;
      if (linePos == kLineBufSize) linePos = 0;  // too long: dropped without a line end
    } else if (!inTerminatorRun_) {
      inTerminatorRun_ = true;
      EndLine();
      linePos = 0;
    }
  }
}

void TtyPort::EndLine() {
  lineBuf[linePos] = '\0';
  // Only queued here: the UI thread writes the file.
  transcript.Received(comName_, std::string_view(lineBuf, linePos));
  {
    std::lock_guard lock(receiveMutex_);
    size_t kept = std::min<size_t>(linePos, sizeof lastLine_ - 1);
    std::memcpy(lastLine_, lineBuf, kept);
    lastLine_[kept] = '\0';
    MatchLine();
  }
  // Every line may be the end a waiting UI thread looks for, whether it matched or not; the
  // wake-up comes after the match is stored, so the waiter never sees the line without it.
  platform::WakeUiThread();
}

void TtyPort::MatchLine() {
  if (matched.load()) return;
  if (capture.captureEnabled.load()) {
    int16_t count = capture.captureLineCount.load();
    if (count < INT16_MAX) capture.captureLineCount.store(++count);
    if (count == 1) capture.StoreFirst(lineBuf);
    if (count == 2) capture.Store(lineBuf);
  }
  uint16_t texts = expectCount.load();
  for (uint16_t i = 0; i < texts; ++i) {
    if (std::strstr(lineBuf, expectTexts[i])) {
      matchedIndex_.store(i);
      matched.store(1);
      return;
    }
  }
}

void TtyPort::AddExpected(const char* text) {
  std::lock_guard lock(receiveMutex_);
  uint16_t count = expectCount.load();
  if (count >= kMaxExpected) return;
  size_t length = strnlen(text, kExpectTextSize - 1);
  std::memcpy(expectTexts[count], text, length);
  expectTexts[count][length] = '\0';
  expectCount.store(count + 1);
  matchedIndex_.store(-1);
  matched.store(0);
}

void TtyPort::ClearExpected() {
  std::lock_guard lock(receiveMutex_);
  expectCount.store(0);
}

int TtyPort::IsMatched() const { return matched.load(); }

void TtyPort::CopyLastLine(char (&out)[80]) {
  std::lock_guard lock(receiveMutex_);
  std::memcpy(out, lastLine_, sizeof out);
}

void TtyPort::ClearLastLine() {
  std::lock_guard lock(receiveMutex_);
  lastLine_[0] = '\0';
}

}  // namespace serial
