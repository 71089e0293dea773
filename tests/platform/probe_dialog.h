#pragma once
// ProbeDialog: a template dialog whose initialisation, ticks, clicks and close request are
// scripted by a test, and which counts what reaches it (shows, paints, hides by the window
// system), on a small template with an OK, a Cancel, a mapped and an unmapped button and a field.

#include <QEvent>

#include <functional>
#include <iterator>
#include <vector>

#include "platform/dialog_template.h"
#include "platform/template_dialog.h"

namespace platform_test {

inline constexpr int kMapped = 1100;
inline constexpr int kUnmapped = 1101;
inline constexpr int kField = 1102;
inline constexpr platform::ControlRow kProbeRows[] = {
    {platform::kIdOk, platform::ControlKind::kDefaultPushButton, "OK", 10, 60, 50, 14},
    {platform::kIdCancel, platform::ControlKind::kPushButton, "Cancel", 70, 60, 50, 14},
    {kMapped, platform::ControlKind::kPushButton, "&Mapped", 130, 60, 50, 14},
    {kUnmapped, platform::ControlKind::kPushButton, "Unmapped", 10, 80, 50, 14},
    {kField, platform::ControlKind::kValueField, "", 10, 10, 100, 10},
};
inline constexpr platform::DialogTemplate kProbeTemplate = {
    900,
    "Probe",
    200,
    100,
    platform::DialogStyle::kModal,
    kProbeRows,
    static_cast<int>(std::size(kProbeRows))};

class ProbeDialog final : public platform::TemplateDialog {
 public:
  explicit ProbeDialog(QWidget* parent = nullptr,
                       const platform::DialogTemplate& dialogTemplate = kProbeTemplate)
      : TemplateDialog(dialogTemplate, parent) {
    installEventFilter(this);
  }

  std::function<void(ProbeDialog&)> onInit;
  std::function<void(ProbeDialog&, int)> onTick;
  int closeRequests = 0;
  int mappedClicks = 0;
  int shows = 0;
  int paints = 0;
  int spontaneousHides = 0;  // hides by the window system (minimising, unmapping)
  int paintsAtHide = -1;     // paints before the last of those hides
  std::vector<int> ticks;
  std::vector<int> paintsAtTick;

 protected:
  bool OnInitDialog() override {
    if (onInit) onInit(*this);
    return true;
  }
  const platform::MessageMap& GetMessageMap() const override {
    static const platform::MessageMap::Click kClicks[] = {
        {kMapped, platform::MapHandler(&ProbeDialog::OnMapped)}};
    static const platform::MessageMap kMap = {kClicks, 1,
                                              platform::MapTimerHandler(&ProbeDialog::OnTick),
                                              platform::MapHandler(&ProbeDialog::OnClose)};
    return kMap;
  }
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (watched == this && event->type() == QEvent::Show) ++shows;
    if (watched == this && event->type() == QEvent::Paint) ++paints;
    if (watched == this && event->type() == QEvent::Hide && event->spontaneous()) {
      ++spontaneousHides;
      paintsAtHide = paints;
    }
    return false;
  }

 private:
  void OnMapped() { ++mappedClicks; }
  void OnClose() { ++closeRequests; }
  void OnTick(int id) {
    ticks.push_back(id);
    paintsAtTick.push_back(paints);
    if (onTick) onTick(*this, id);
  }
};

}  // namespace platform_test
