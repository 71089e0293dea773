#pragma once
// ProbeDialog: a template dialog whose initialisation, ticks, clicks and close request are
// scripted by a test, and which counts what reaches it (shows, paints, hides by the window
// system), on a small template with an OK, a Cancel, a mapped and an unmapped button and a field.

#include <QEvent>

#include <functional>
#include <iterator>
#include <vector>

#include "widgets/dialog_template.h"
#include "widgets/template_dialog.h"

namespace widgets_test {

inline constexpr int kMapped = 1100;
inline constexpr int kUnmapped = 1101;
inline constexpr int kField = 1102;
inline constexpr widgets::ControlRow kProbeRows[] = {
    {widgets::kIdOk, widgets::ControlKind::kDefaultPushButton, "OK", 10, 60, 50, 14},
    {widgets::kIdCancel, widgets::ControlKind::kPushButton, "Cancel", 70, 60, 50, 14},
    {kMapped, widgets::ControlKind::kPushButton, "&Mapped", 130, 60, 50, 14},
    {kUnmapped, widgets::ControlKind::kPushButton, "Unmapped", 10, 80, 50, 14},
    {kField, widgets::ControlKind::kValueField, "", 10, 10, 100, 10},
};
inline constexpr widgets::DialogTemplate kProbeTemplate = {
    "Probe",    200,
    100,        widgets::DialogStyle::kModal,
    kProbeRows, static_cast<int>(std::size(kProbeRows))};

class ProbeDialog final : public widgets::TemplateDialog {
 public:
  explicit ProbeDialog(QWidget* parent = nullptr,
                       const widgets::DialogTemplate& dialogTemplate = kProbeTemplate)
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
  const widgets::MessageMap& GetMessageMap() const override {
    static const widgets::MessageMap::Click kClicks[] = {
        {kMapped, widgets::MapHandler(&ProbeDialog::OnMapped)}};
    static const widgets::MessageMap kMap = {kClicks, 1,
                                             widgets::MapTimerHandler(&ProbeDialog::OnTick),
                                             widgets::MapHandler(&ProbeDialog::OnClose)};
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

}  // namespace widgets_test
