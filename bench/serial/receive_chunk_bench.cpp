// Throughput of the line assembler: typical modem answers in 80-byte chunks, as the reader
// hands them over, with capture enabled and a few expected texts to test at every line end.

#include <benchmark/benchmark.h>

#include <string>

#include "serial/line_assembler.h"
#include "serial/response_capture.h"
#include "serial/tty_port.h"

namespace {

void ReceiveChunkThroughput(benchmark::State& state) {
  serial::ResponseCapture capture;
  serial::LineAssembler lines{capture};
  lines.AddExpected("NO CARRIER");
  lines.AddExpected("CONNECT");
  lines.AddExpected("Quux 56K V.92");
  capture.captureEnabled = 1;
  std::string text;
  while (text.size() < 64 * 1024) {
    text += "at%T22,2A\r\r\n3C\r\n\r\nOK\r\n";
    text += std::string(static_cast<size_t>(state.range(0)), 'x') + "\r\n";
  }
  for (auto _ : state) {
    for (size_t at = 0; at < text.size(); at += serial::kChunkSize) {
      size_t n = std::min<size_t>(serial::kChunkSize, text.size() - at);
      lines.Receive(text.data() + at, static_cast<unsigned>(n));
    }
    capture.captureLineCount = 0;
    benchmark::DoNotOptimize(lines.PendingLength());
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * text.size()));
}
// Short answers, and 78-character loopback lines.
BENCHMARK(ReceiveChunkThroughput)->Arg(2)->Arg(78);

}  // namespace
