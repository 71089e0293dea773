// The line each port's verdict becomes, on standard error and in the details of "Can not find
// Kalvex Internal Modem in your system !".

#include <gtest/gtest.h>

#include "modem/port_verdict.h"

namespace {

using modem::PortVerdict;
using modem::PortVerdictKind;

TEST(PortVerdict, OpenFailuresCarryTheirCauseAndHint) {
  platform::OpenCheck denied;
  denied.verdict = platform::OpenVerdict::kPermissionDenied;
  denied.group = "dialout";
  denied.groupMayOpen = true;
  const PortVerdict verdict = modem::VerdictFromOpenCheck("COM3", "/dev/ttyS2", denied);
  EXPECT_EQ(verdict.kind, PortVerdictKind::kPermissionDenied);
  EXPECT_EQ(modem::FormatVerdictLine(verdict),
            "COM3 (/dev/ttyS2): permission denied: the device belongs to group 'dialout'; add "
            "yourself with 'sudo usermod -aG dialout $USER', then log in again");

  platform::OpenCheck busy;
  busy.verdict = platform::OpenVerdict::kBusy;
  busy.holders = {{812, "ModemManager"}};
  const std::string line =
      modem::FormatVerdictLine(modem::VerdictFromOpenCheck("COM4", "/dev/ttyACM0", busy));
  EXPECT_EQ(line.rfind("COM4 (/dev/ttyACM0): busy: held by ModemManager (PID 812); stop it with "
                       "'sudo systemctl stop ModemManager'",
                       0),
            0u)
      << line;

  EXPECT_NE(line.find("contrib/udev/99-kalvex-modem-diag.rules"), std::string::npos) << line;

  platform::OpenCheck gone;  // openable by the time it was checked
  const PortVerdict later = modem::VerdictFromOpenCheck("COM1", "/dev/ttyS0", gone);
  EXPECT_EQ(later.kind, PortVerdictKind::kOpenFailed);
  EXPECT_EQ(modem::VerdictName(later.kind), std::string("open-failed"));
}

TEST(PortVerdict, ModemAnswersQuoteTheI3LineWithControlsEscaped) {
  PortVerdict foreign;
  foreign.comName = "COM3";
  foreign.devicePath = "/tmp/sim/COM3";
  foreign.kind = PortVerdictKind::kNotListed;
  foreign.i3Line = "Other Modem \"X\"\r";
  EXPECT_EQ(modem::FormatVerdictLine(foreign),
            "COM3 (/tmp/sim/COM3): answered, but its \"I3\" line \"Other Modem \"X\"\\r\" is not "
            "in the identification list");
  foreign.i3Line.clear();
  EXPECT_EQ(modem::FormatVerdictLine(foreign),
            "COM3 (/tmp/sim/COM3): answered, but gave no \"I3\" line");

  PortVerdict silent{"COM1", "/dev/ttyS0", PortVerdictKind::kNoAnswer, {}, {}};
  PortVerdict missing{"COM4", "/dev/ttyS3", PortVerdictKind::kNoSuchDevice, {}, {}};
  missing.open.verdict = platform::OpenVerdict::kNoSuchDevice;
  EXPECT_EQ(modem::VerdictDetails({missing, silent}),
            "COM4 (/dev/ttyS3): no such device\n"
            "COM1 (/dev/ttyS0): no answer to \"&FZ\" within the time-out");
  EXPECT_EQ(modem::VerdictDetails({}), "");
}

// A hint only where the user can act on it: no group to join when the mode shuts the group out,
// nothing to stop when the holder is another program. The listing shows the same words.
TEST(PortVerdict, OpenFailuresWithNothingToDoComeWithoutAHint) {
  platform::OpenCheck shut;
  shut.verdict = platform::OpenVerdict::kPermissionDenied;
  shut.group = "dialout";
  shut.mode = 0600;
  EXPECT_EQ(modem::OpenCheckReason(shut),
            "permission denied: its mode 0600 lets group 'dialout' neither read nor write it");

  platform::OpenCheck busy;
  busy.verdict = platform::OpenVerdict::kBusy;
  busy.holders = {{4242, "minicom"}};
  EXPECT_EQ(modem::OpenCheckReason(busy), "busy: held by minicom (PID 4242)");
}

}  // namespace
