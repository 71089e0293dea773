// How the UI thread waits: the delay from the last byte of a matching line written on the far
// end of a terminal to a waiting transaction seeing the match, and the UI thread's CPU time
// while a transaction runs into its time-out. Prints one line per figure.

#include <QCoreApplication>
#include <ctime>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <random>
#include <thread>
#include <vector>

#include "modem/session.h"
#include "modem/transaction.h"
#include "platform/clock.h"
#include "serial/tty_port.h"
#include "support/pty_pair.h"

namespace {

double NowUs() {
  timespec ts{};
  ::clock_gettime(CLOCK_MONOTONIC, &ts);
  return ts.tv_sec * 1e6 + ts.tv_nsec / 1e3;
}

double ThreadCpuMs() {
  timespec ts{};
  ::clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
  return ts.tv_sec * 1e3 + ts.tv_nsec / 1e6;
}

double Percentile(std::vector<double> values, double p) {
  std::sort(values.begin(), values.end());
  return values[static_cast<size_t>(p * (values.size() - 1))];
}

}  // namespace

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  modem::Session session;
  int samples = argc > 1 ? std::atoi(argv[1]) : 500;
  testsupport::PtyPair pty;
  testsupport::ComDir dir;
  dir.Link(3, pty.SlavePath());
  if (!modem::OpenComPort(session, 3)) {
    std::fprintf(stderr, "cannot open the test terminal\n");
    return 1;
  }

  // Match latency: the writer sends at a random moment while the UI thread sleeps in its wait.
  std::vector<double> latencies;
  std::mt19937 random(7);
  for (int i = 0; i < samples; ++i) {
    session.port.assembler.ClearExpected();
    session.port.assembler.AddExpected("OK");
    std::atomic<double> sentAt{0};
    int delayUs = 1000 + static_cast<int>(random() % 4000);
    std::thread writer([&] {
      std::this_thread::sleep_for(std::chrono::microseconds(delayUs));
      pty.Write("OK\r\n");
      sentAt = NowUs();
    });
    session.waits.Until([&session] { return session.port.assembler.IsMatched(); },
                        platform::NowMs() + 2000);
    double seenAt = NowUs();
    writer.join();
    latencies.push_back(std::max(0.0, seenAt - sentAt.load()) / 1000.0);
  }
  std::printf("match latency: median %.3f ms, p99 %.3f ms, max %.3f ms (%d samples)\n",
              Percentile(latencies, 0.5), Percentile(latencies, 0.99), Percentile(latencies, 1.0),
              samples);

  // CPU while a transaction waits out its 3 s.
  double cpuBefore = ThreadCpuMs();
  int64_t wallBefore = platform::NowMs();
  const bool seen = modem::Transact(session, "&FZ", "NEVER", 3) == modem::WaitResult::kSeen;
  double cpuMs = ThreadCpuMs() - cpuBefore;
  int64_t wallMs = platform::NowMs() - wallBefore;
  std::printf(
      "timed-out transaction: %s after %lld ms, UI-thread CPU %.2f ms (%.3f%% of the wall "
      "time)\n",
      seen ? "seen" : "timed out", static_cast<long long>(wallMs), cpuMs,
      100.0 * cpuMs / static_cast<double>(wallMs));
  session.port.Close();
  return 0;
}
