// The probe of every device against the simulated modem's ports, all asked at once: what each
// kind of device is called and, as much as the verdict, what was written to it.

#include "modem/port_probe.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "modem/sim_ports.h"
#include "support/port_holder.h"
#include "support/pty_pair.h"

namespace {

using modem::ProbeVerdict;
using modem_test::Port;
using sim::PortKind;

struct Case {
  int com;
  ProbeVerdict verdict;
  std::vector<std::string>
      received;  // everything the device got: nothing past "AT" without an "OK"
  bool known;
};

const modem::ProbeResult* ResultFor(const std::vector<modem::ProbeResult>& results,
                                    const std::string& com) {
  for (const modem::ProbeResult& result : results) {
    if (result.target.comNames == std::vector<std::string>{com}) return &result;
  }
  return nullptr;
}

TEST(PortProbe, NamesEveryKindOfDeviceAndAsksI3OnlyAfterOk) {
  modem_test::SimulatedPorts ports;
  sim::Faults v0, q1;
  v0.profile = "V0";
  q1.profile = "Q1";
  ASSERT_TRUE(
      ports.Start({Port(1, PortKind::kModem), Port(2, PortKind::kForeign),
                   Port(3, PortKind::kSilent), Port(4, PortKind::kEcho), Port(5, PortKind::kModem),
                   Port(6, PortKind::kModem, v0), Port(7, PortKind::kModem, q1)}));
  testsupport::PortHolder holder("/bin/sleep", ports.Sim().Directory() + "/COM5",
                                 testsupport::PortHolder::How::kFlock);
  modem::IdentificationList list;
  ASSERT_TRUE(modem::ReadIdentificationFile(KALVEX_SHIPPED_LIST, list));

  modem::PortProbe probe(modem::ProbeTargets(serial::PortMap()), &list);
  const std::vector<modem::ProbeResult> results = probe.Results();

  const Case cases[] = {
      {1, ProbeVerdict::kModem, {"AT", "ATI3"}, true},
      {2, ProbeVerdict::kModem, {"AT", "ATI3"}, false},
      {3, ProbeVerdict::kSilent, {"AT"}, false},
      {4, ProbeVerdict::kEchoOnly, {"AT"}, false},
      {5, ProbeVerdict::kBusy, {}, false},
      {6, ProbeVerdict::kNumericCodes, {"AT"}, false},
      {7, ProbeVerdict::kEchoOnly, {"AT"}, false},
  };
  for (const Case& c : cases) {
    const std::string com = "COM" + std::to_string(c.com);
    const modem::ProbeResult* result = ResultFor(results, com);
    ASSERT_NE(result, nullptr) << com;
    EXPECT_EQ(modem::ProbeVerdictName(result->verdict), modem::ProbeVerdictName(c.verdict)) << com;
    EXPECT_EQ(ports.Received(com), c.received) << com;
    EXPECT_EQ(result->known, c.known) << com;
    if (c.verdict == ProbeVerdict::kModem)
      EXPECT_EQ(result->i3Line, ports.AnswerTo(com, "ATI3")) << com;
  }
  EXPECT_NE(modem::ProbeVerdictReason(*ResultFor(results, "COM5")).find("held by sleep"),
            std::string::npos);
  // COM8 and COM9 point into the simulator's directory, where nothing is.
  EXPECT_EQ(results.size(), 9u);
  EXPECT_EQ(ResultFor(results, "COM8")->verdict, ProbeVerdict::kNoSuchDevice);
}

// A device that answers "AT" with an endless stream of every byte value: the first line, cut at
// the assembler's limit, is the answer, shown escaped, and nothing more is written to it.
TEST(PortProbe, EndlessBinaryAnswerIsCutAndEndsTheWait) {
  testsupport::PtyPair pty;
  ASSERT_TRUE(pty.Valid());
  std::atomic<bool> done{false};
  // Non-blocking, so the flood stops when asked even with the terminal's queue full.
  ASSERT_EQ(::fcntl(pty.Master(), F_SETFL, ::fcntl(pty.Master(), F_GETFL) | O_NONBLOCK), 0);
  std::thread flood([&] {
    (void)pty.ReadUntil("AT\r", 5000);
    std::string junk(10240, '\0');
    for (size_t i = 0; i < junk.size(); ++i) junk[i] = static_cast<char>(i * 7 % 256);
    while (!done) (void)!::write(pty.Master(), junk.data(), junk.size());
  });
  const modem::ProbeResult result =
      modem::ProbeDevice({pty.SlavePath(), pty.SlavePath(), {}, {}, {}}, nullptr, {});
  done = true;
  flood.join();
  EXPECT_EQ(result.verdict, ProbeVerdict::kOtherAnswer);
  EXPECT_LT(result.answer.size(), 256u);
  for (char c : modem::ProbeVerdictReason(result)) EXPECT_TRUE(c >= ' ' && c < 127) << int(c);
  EXPECT_EQ(pty.ReadFor(200), "");
}

}  // namespace
