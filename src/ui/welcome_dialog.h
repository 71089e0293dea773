#pragma once
// WelcomeDialog: the greeting shown before the main dialog, from template 131. OK (or Enter)
// ends it with kIdOk; Cancel, Escape and the close box with kIdCancel. UI thread.

#include "widgets/template_dialog.h"

namespace ui {

class WelcomeDialog final : public widgets::TemplateDialog {
  Q_OBJECT

 public:
  explicit WelcomeDialog(QWidget* parent);
};

}  // namespace ui
