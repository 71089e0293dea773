#pragma once
// A program run as the windows and the report see it: the session, the identification list, the
// detection run, stopping, the transcript, and the end of the program run. The tests are in
// diagnostic_run.h, speaker_test.h and line_test.h. UI thread.

#include <cstdint>
#include <string>
#include <vector>

#include "diagnostics/main_view.h"
#include "modem/detection.h"
#include "modem/identification_list.h"
#include "modem/main_view.h"
#include "modem/port_probe.h"
#include "modem/put_back.h"
#include "modem/session.h"
#include "modem/transaction.h"
#include "modem/untried_device.h"

namespace diagnostics {

using Session = modem::Session;
using DetectionResult = modem::DetectionResult;

// The identification list, the detection run and the port, as modem/identification_list.h,
// modem/detection.h and modem/transaction.h give them.
using modem::ClosePort;
using modem::CloseTranscript;
using modem::DetectModem;
using modem::FinishProgramRun;
using modem::kPortProbeOrder;
using modem::LoadIdentificationList;
using modem::OpenTranscript;

// The probe of every device (--list-ports --probe) and the COM names offered for a device, as
// modem/port_probe.h and modem/untried_device.h give them.
using modem::DescribeDataFileCandidates;
using modem::FindIdentificationList;
using modem::IdentificationList;
using modem::PortProbe;
using modem::PortsConfLineFor;
using modem::ProbeResult;
using modem::ProbeTargets;
using modem::ProbeVerdict;
using modem::ProbeVerdictName;
using modem::ProbeVerdictReason;
using modem::SuggestedComNames;

// Stops the running detection or test at once; it puts the modem back before it returns. A
// second call with abandonPutBack cuts that put-back short.
void StopRun(Session& session, bool abandonPutBack = false);

// What the program run could not put back, one line each ("register 18: was 05, now 00
// (ERROR)"), those of a modem found before another one named with its device and journal;
// empty when nothing is left.
[[nodiscard]] std::vector<std::string> NotPutBack(const Session& session);

// A journal found at detection in words for a person: what it held and whether it was put back,
// or why it was not acted on.
[[nodiscard]] std::string DescribeRecovery(const modem::Recovery& recovery);

}  // namespace diagnostics
