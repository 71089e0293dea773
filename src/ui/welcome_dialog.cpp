#include "ui/welcome_dialog.h"

#include "resources/dialog_templates.h"

namespace ui {

// No message map of its own: OK and Cancel are the base's defaults.

WelcomeDialog::WelcomeDialog(QWidget* parent)
    : TemplateDialog(resources::kWelcomeDialogTemplate, parent) {}

}  // namespace ui
