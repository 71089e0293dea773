#pragma once
// Control IDs of the four dialog templates. IDs are local to each dialog: the voice prompt's
// Yes and No share their numbers with the main dialog's first two "Test..." buttons.

namespace ids {

// Main dialog (102)
inline constexpr int kTestDiagnostics = 1001;  // first "Test...": basic function and loopbacks
inline constexpr int kTestSpeaker = 1004;
inline constexpr int kTestLine = 1005;
inline constexpr int kDetectAgain = 1021;
inline constexpr int kQuit = 1024;
inline constexpr int kLocation = 1009;
inline constexpr int kModemName = 1015;
inline constexpr int kFirmware = 1016;
inline constexpr int kCountry = 1017;
inline constexpr int kBasicResult = 1007;
inline constexpr int kDigitalResult = 1012;
inline constexpr int kAnalogResult = 1013;
inline constexpr int kSpeakerResult = 1014;
inline constexpr int kLineResult = 1003;

// The three "Test..." buttons, and with "Detect Again..." the buttons that start a run of their
// own: a run nested in another one's wait would take over its expected texts, so they are all
// held disabled while a detection or a test runs.
inline constexpr int kTestButtons[] = {kTestDiagnostics, kTestSpeaker, kTestLine};
inline constexpr int kRunButtons[] = {kTestDiagnostics, kTestSpeaker, kTestLine, kDetectAgain};

// Voice prompt (130)
inline constexpr int kVoiceYes = 1001;
inline constexpr int kVoiceNo = 1004;
inline constexpr int kVoiceCounter = 1022;

// Line test (132)
inline constexpr int kLineOk = 1;
inline constexpr int kLineProgress = 1025;
inline constexpr int kLineStatus = 1026;
inline constexpr int kLinePercent = 1027;

}  // namespace ids
