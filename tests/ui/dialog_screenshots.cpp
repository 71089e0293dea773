// Renders the four dialogs as they first appear into PNG files for the documentation.
// Usage: kalvex-dialog-screenshots OUTPUT_DIR (run with QT_QPA_PLATFORM=offscreen).

#include <QApplication>
#include <QPixmap>

#include <cstdio>

#include "resources/control_ids.h"
#include "resources/dialog_templates.h"
#include "widgets/template_dialog.h"

namespace {

bool Save(widgets::TemplateDialog& dialog, const QString& path) {
  dialog.show();
  QApplication::processEvents();
  const bool ok = dialog.grab().save(path, "PNG");
  dialog.hide();
  if (!ok) std::fprintf(stderr, "kalvex-dialog-screenshots: cannot write %s\n", qPrintable(path));
  return ok;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: kalvex-dialog-screenshots OUTPUT_DIR\n");
    return 2;
  }
  QApplication app(argc, argv);
  const QString dir = QString::fromLocal8Bit(argv[1]);
  widgets::TemplateDialog main(resources::kMainDialogTemplate, nullptr);
  // As the user first sees it: the "Test..." buttons wait for a detected modem.
  for (int id : {ids::kTestDiagnostics, ids::kTestSpeaker, ids::kTestLine})
    main.EnableItem(id, false);
  widgets::TemplateDialog welcome(resources::kWelcomeDialogTemplate, nullptr);
  widgets::TemplateDialog voice(resources::kVoicePromptDialogTemplate, &main);
  widgets::TemplateDialog line(resources::kLineTestDialogTemplate, &main);
  line.EnableItem(ids::kLineOk, false);
  bool ok = Save(main, dir + "/main_dialog.png");
  ok = Save(welcome, dir + "/welcome_dialog.png") && ok;
  ok = Save(voice, dir + "/voice_prompt_dialog.png") && ok;
  ok = Save(line, dir + "/line_test_dialog.png") && ok;
  return ok ? 0 : 1;
}
