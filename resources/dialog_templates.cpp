#include "resources/dialog_templates.h"

#include <iterator>

#include <QtGlobal>

#include "resources/control_ids.h"
#include "resources/product.h"

// The pictures live in a static library, where nothing would otherwise pull in the registration
// that rcc generates; every program that uses a template links this file, so it registers them.
static void RegisterKalvexImages() { Q_INIT_RESOURCE(kalvex); }
namespace {
const struct ImageRegistrar {
  ImageRegistrar() { RegisterKalvexImages(); }
} kImageRegistrar;
}  // namespace

namespace resources {
namespace {

using widgets::ControlKind;
using widgets::ControlRow;
using widgets::kNoId;

constexpr char kLogoName[] = "Kalvex logo";
constexpr char kLineTestPictureName[] = "Two computers on a telephone line";

// Rows in template order: it is the tab order, and group boxes are placed behind the rest.
constexpr ControlRow kMainRows[] = {
    {ids::kTestDiagnostics, ControlKind::kPushButton, "Test...", 208, 122, 45, 16},
    {kNoId, ControlKind::kLabelRight, "Digital Local  Loop Back Test : ", 15, 134, 99, 11},
    {kNoId, ControlKind::kLabelRight, "Analog Local Loop Back Test : ", 13, 148, 101, 11},
    {kNoId, ControlKind::kLabelRight, "Speaker Test : ", 40, 173, 50, 9},
    {kNoId, ControlKind::kLabelRight, "Line /DAA Test : ", 30, 186, 60, 9},
    {ids::kDigitalResult, ControlKind::kValueField, "", 117, 134, 83, 10},
    {ids::kAnalogResult, ControlKind::kValueField, "", 117, 148, 83, 10},
    {ids::kSpeakerResult, ControlKind::kValueField, "", 93, 173, 103, 10},
    {ids::kLineResult, ControlKind::kValueField, "", 93, 187, 103, 10},
    {ids::kTestSpeaker, ControlKind::kPushButton, "Test...", 205, 173, 40, 11},
    {ids::kTestLine, ControlKind::kPushButton, "Test...", 205, 187, 40, 11},
    {kNoId, ControlKind::kLabelRight, "Basic Function Test : ", 14, 121, 101, 11},
    {ids::kBasicResult, ControlKind::kValueField, "", 117, 120, 83, 10},
    {kNoId, ControlKind::kImage, kLogoBitmap, 89, 10, 89, 31, kLogoName},
    {kNoId, ControlKind::kLabelRight, "Location :", 20, 61, 35, 9},
    {ids::kLocation, ControlKind::kValueField, "", 57, 60, 76, 10},
    {kNoId, ControlKind::kGroupBox, "Modem Information", 7, 50, 255, 58},
    {kNoId, ControlKind::kLabelLeft, "Modem :", 140, 61, 28, 8},
    {kNoId, ControlKind::kLabelLeft, "F/W Version :", 11, 74, 45, 8},
    {kNoId, ControlKind::kLabelLeft, "Country :", 139, 74, 29, 8},
    {ids::kFirmware, ControlKind::kValueField, "", 57, 75, 76, 10},
    {ids::kModemName, ControlKind::kValueField, product::kModemName, 169, 60, 87, 10},
    {ids::kCountry, ControlKind::kValueField, "", 169, 75, 87, 10},
    {kNoId, ControlKind::kGroupBox, "Diagnostic Test", 7, 111, 255, 51},
    {kNoId, ControlKind::kGroupBox, "Speaker and Line", 7, 165, 256, 38},
    {ids::kDetectAgain, ControlKind::kPushButton, "Detect Again...", 56, 88, 62, 16},
    {kNoId, ControlKind::kLabelLeft, kVersionLabel, 202, 30, 54, 17},
    {ids::kQuit, ControlKind::kPushButton, "Quit", 153, 88, 62, 16},
};

// Three buttons read "Test..."; a screen reader says what each one runs. The line result's
// label is written "Line /DAA Test".
constexpr widgets::ControlName kMainNames[] = {
    {ids::kTestDiagnostics, "Run the basic function and loopback tests"},
    {ids::kTestSpeaker, "Run the speaker test"},
    {ids::kTestLine, "Run the line/DAA test"},
    {ids::kLineResult, "Line/DAA Test"},
};

constexpr ControlRow kWelcomeRows[] = {
    {widgets::kIdOk, ControlKind::kDefaultPushButton, "OK", 36, 112, 50, 14},
    {widgets::kIdCancel, ControlKind::kPushButton, "Cancel", 128, 112, 50, 14},
    {kNoId, ControlKind::kLabelLeft,
     "This diagnostic tool will detect your modem and test its functionality, click \"Ok\" to "
     "continue or  \"Cancel\" to leave the modem diagnostic.",
     25, 60, 164, 27},
    {kNoId, ControlKind::kLabelLeft, "This diagnostic tool is not for PCMCIA modems.", 27, 89, 149,
     8},
    {kNoId, ControlKind::kImage, kLogoBitmap, 60, 16, 89, 31, kLogoName},
};

constexpr ControlRow kVoicePromptRows[] = {
    {ids::kVoiceYes, ControlKind::kPushButton, "&Yes", 28, 68, 50, 14},
    {ids::kVoiceNo, ControlKind::kPushButton, "&No", 152, 68, 50, 14},
    {kNoId, ControlKind::kLabelLeft, kSpeakerQuestion, 18, 28, 203, 8},
    {ids::kVoiceCounter, ControlKind::kCentredText, "", 79, 46, 65, 8},
};

// It counts the seconds the buzzer sounds, then says it is off.
constexpr widgets::ControlName kVoicePromptNames[] = {
    {ids::kVoiceCounter, "Buzzer seconds counter"},
};

constexpr ControlRow kLineTestRows[] = {
    {ids::kLineOk, ControlKind::kDefaultPushButton, "OK", 115, 65, 50, 14},
    {ids::kLineProgress, ControlKind::kProgressBar, "", 19, 42, 198, 10},
    {ids::kLinePercent, ControlKind::kValueField, "0 %", 219, 42, 29, 10},
    {ids::kLineStatus, ControlKind::kValueField, "Line/DAA test in progress", 45, 15, 216, 12},
    {kNoId, ControlKind::kImage, kLineTestIcon, 16, 11, 21, 20, kLineTestPictureName},
};

constexpr widgets::ControlName kLineTestNames[] = {
    {ids::kLineStatus, "Line/DAA test status"},
    {ids::kLineProgress, "Line/DAA test progress"},
    {ids::kLinePercent, "Line/DAA test percent done"},
};

}  // namespace

const widgets::DialogTemplate kMainDialogTemplate = {product::kToolTitle,
                                                     272,
                                                     210,
                                                     widgets::DialogStyle::kMainWindow,
                                                     kMainRows,
                                                     static_cast<int>(std::size(kMainRows)),
                                                     kMainNames,
                                                     static_cast<int>(std::size(kMainNames))};

const widgets::DialogTemplate kWelcomeDialogTemplate = {
    "Welcome to Kalvex Internal Modem Diagnostics",
    204,
    133,
    widgets::DialogStyle::kModal,
    kWelcomeRows,
    static_cast<int>(std::size(kWelcomeRows))};

const widgets::DialogTemplate kVoicePromptDialogTemplate = {
    "Voice ?",
    242,
    93,
    widgets::DialogStyle::kModal,
    kVoicePromptRows,
    static_cast<int>(std::size(kVoicePromptRows)),
    kVoicePromptNames,
    static_cast<int>(std::size(kVoicePromptNames))};

const widgets::DialogTemplate kLineTestDialogTemplate = {
    "Line/DAA Test",
    276,
    87,
    widgets::DialogStyle::kModal,
    kLineTestRows,
    static_cast<int>(std::size(kLineTestRows)),
    kLineTestNames,
    static_cast<int>(std::size(kLineTestNames))};

}  // namespace resources
