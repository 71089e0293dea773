#pragma once
// A dialog template as data: its caption, size and style, and the control table, all in
// dialog units. The tables themselves live in resources/; TemplateDialog builds Qt widgets from
// them.

namespace widgets {

enum class ControlKind {
  kPushButton,
  kDefaultPushButton,  // Enter presses it
  kGroupBox,           // frame with a caption, no tab stop
  kLabelLeft,
  kLabelRight,
  kValueField,  // centred static text in a sunken box
  kCentredText,
  kImage,        // shown at the image's own pixel size
  kProgressBar,  // range 0..100
};

inline constexpr int kNoId = -1;
inline constexpr int kIdOk = 1;
inline constexpr int kIdCancel = 2;

struct ControlRow {
  int id;  // kNoId for controls nothing addresses
  ControlKind kind;
  const char* text;  // initial text; for kImage the Qt resource path of the picture
  int x, y, w, h;    // dialog units
  // kImage only: what a screen reader calls the picture, which has neither text nor ID.
  const char* imageName = nullptr;
};

// The name a screen reader gives a control whose own text, or the label beside it, says too
// little ("Test...") or says it badly.
struct ControlName {
  int id;
  const char* name;
};

enum class DialogStyle {
  kMainWindow,  // own taskbar entry, close and minimise boxes, no maximise, fixed size
  kModal,       // fixed-size modal dialog with a close box
};

struct DialogTemplate {
  const char* caption;
  int width, height;  // client area, dialog units
  DialogStyle style;
  const ControlRow* controls;
  int controlCount;
  // Optional. A value field without an entry here is named after the label on its left.
  const ControlName* names = nullptr;
  int nameCount = 0;
};

}  // namespace widgets
