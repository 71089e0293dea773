#include "serial/tty_port.h"

#include <algorithm>
#include <cerrno>
#include <string>
#include <system_error>
#include <thread>

#include "platform/clock.h"
#include "platform/event_fd.h"
#include "platform/sys_error.h"
#include "serial/debug_output.h"
#include "serial/open_words.h"
#include "serial/port_names.h"
#include "serial/transcript.h"

namespace serial {

namespace {
// A write gives up after this plus kWriteMsPerByteNumerator / baudRate ms per byte: at 19200
// baud the per-byte part is 0 and the whole write has one second.
constexpr int kWriteTimeoutConstantMs = 1000;
constexpr unsigned kWriteMsPerByteNumerator = 4800;
}  // namespace

TtyPort::TtyPort(platform::UiWaits& waits)
    : assembler(
          capture,
          [this](std::string_view line, bool cut) {
            // Only queued here: the UI thread writes the file.
            transcript.Received(comName_, line, cut);
          },
          waits.Waker()),
      waits_(waits) {}

TtyPort::~TtyPort() { Close(); }

TtyPort::OpenResult TtyPort::Open(const char* deviceName, const PortMap& ports) {
  uiThread_.Check();
  if (connected.load() || closing_) {
    openFailure_ = {};
    openFailure_.verdict = platform::OpenVerdict::kFailed;
    openFailure_.detail = connected.load() ? "a port is already open" : "the port is still closing";
    return OpenResult::kRefused;
  }
  assembler.ClearExpected();
  deviceLost_.store(false);
  comName_ = deviceName;

  std::string path = ports.DevicePathFor(deviceName);
  const bool opened = device.Open(path.c_str());
  DebugOpenAttempt(path.c_str(), device.LastOpen());
  if (!opened) {
    // Who holds the device, or who may open it, is looked up for the user rather than the code.
    openFailure_ = platform::ExplainOpen(path.c_str(), device.LastOpen());
    NoteEvent("open " + path + " failed: " + DescribeOpenCheck(openFailure_));
    return OpenResult::kRefused;
  }
  device.WatchReceive(true);
  device.Purge();
  if (!SetupLine()) {
    DebugOutputF("Open %.200s failed: line settings refused", path.c_str());
    connected.store(false);
    device.Close();
    openFailure_ = {};
    openFailure_.verdict = platform::OpenVerdict::kFailed;
    openFailure_.detail = "the line settings were refused";
    NoteEvent("open " + path + " failed: the line settings were refused");
    return OpenResult::kRefused;
  }
  NoteEvent("open " + path);

  connected.store(true);
  waits_.Attach();
  // Set before the thread exists: the thread clears it as its very last act.
  readerRunning.store(true);
  try {
    std::thread(ReaderThreadMain, this).detach();
  } catch (const std::system_error& error) {
    readerRunning.store(false);
    DebugOutputF("Reader thread not started: %.200s", error.what());
  }
  device.SetDtr(true);
  return OpenResult::kOpened;
}

void TtyPort::Close() {
  uiThread_.Check();
  if (!connected.load()) return;
  connected.store(false);
  closing_ = true;
  device.WatchReceive(false);
  // Handlers run during this wait; an Open among them is refused until the device is released,
  // so this Close never releases a device opened meanwhile.
  while (readerRunning.load()) waits_.Delay(100);
  device.SetDtr(false);
  device.Purge();
  device.Close();
  closing_ = false;
  // The reader has ended: every line it queued comes before the close.
  NoteEvent("close");
}

void TtyPort::NoteEvent(std::string_view text) {
  if (transcript.IsOpen()) transcript.Event(comName_, text);
}

bool TtyPort::Write(const void* data, int length) {
  uiThread_.Check();
  if (!device.IsOpen() || length < 0) return false;
  int timeoutMs =
      kWriteTimeoutConstantMs + static_cast<int>(kWriteMsPerByteNumerator / baudRate) * length;
  // Recorded before the write: the echo the reader queues can come back before write() returns.
  if (transcript.IsOpen())
    transcript.Sent(comName_, std::string_view(static_cast<const char*>(data), size_t(length)));
  platform::WriteResult result = device.Write(data, static_cast<size_t>(length), timeoutMs);
  lastWriteMs_ = platform::NowMs();
  if (result.failedAtOnce) {
    NoteEvent("write failed: " + platform::DescribeErrno(result.error));
    return false;
  }
  if (!result.waited) return true;
  if (result.total == length) {
    DebugOutputF("%ld bytes written", result.total);
  } else {
    DebugOutputF("Probable Write Timeout: Total of %ld bytes sent", result.total);
    NoteEvent("write time-out: " + std::to_string(result.total) + " of " + std::to_string(length) +
              " bytes sent");
  }
  return true;
}

bool TtyPort::SetupLine() {
  platform::LineSettings settings;
  settings.baudRate = baudRate;
  settings.byteSize = byteSize;
  settings.parity = parity;
  settings.stopBits = stopBits;
  settings.flow = flow;
  return device.ApplyLineSettings(settings);
}

unsigned TtyPort::Read(char* buffer, unsigned maxBytes) {
  unsigned wanted = std::min(maxBytes, device.QueuedInput());
  if (wanted == 0) return 0;
  int error = 0;
  long got = device.Read(buffer, wanted, &error);
  if (got >= 0) return static_cast<unsigned>(got);
  // The queue said there were bytes; another reader took them. The next event brings more.
  if (error == EAGAIN) serial::DebugOutput("IO Pending");
  return 0;
}

void ReaderThreadMain(TtyPort* port) { port->ReaderLoop(); }

void TtyPort::ReaderLoop() {
  // The port may be gone once readerRunning is clear; this handle to the wake-up is not.
  const platform::UiWaker waker = waits_.Waker();
  {
    platform::EventFd wakeup;
    if (!wakeup.Valid()) {
      waker.ShowMessage("Failed to create event for thread!", "TTY Error!");
    } else {
      device.SetWakeupFd(wakeup.Fd());
      device.WatchReceive(true);
      char chunk[kChunkSize];
      while (connected.load()) {
        platform::WaitResult event = device.WaitEvent();
        if (event == platform::WaitResult::kLost) {
          // The port stays open for the UI; its transactions end by time-out.
          serial::DebugOutput("Device lost: the reader stops");
          deviceLost_.store(true);
          break;
        }
        if (event != platform::WaitResult::kRxChar) continue;
        while (unsigned got = Read(chunk, kChunkSize)) assembler.Receive(chunk, got);
      }
      device.SetWakeupFd(-1);
    }
  }
  readerRunning.store(false);  // last access to this object
  // A UI thread waiting for the reader to end looks again now rather than at its next event.
  waker.Wake();
}

}  // namespace serial
