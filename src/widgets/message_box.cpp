#include "widgets/message_box.h"

#include <QApplication>
#include <QByteArray>
#include <QCoreApplication>
#include <QFileInfo>
#include <QMessageBox>
#include <QPushButton>

#include <string>

#include "platform/standard_error.h"
#include "resources/product.h"
#include "widgets/dialog_template.h"

namespace widgets {
namespace {

QMessageBox::Icon IconFor(BoxIcon icon) {
  switch (icon) {
    case BoxIcon::kQuestion: return QMessageBox::Question;
    case BoxIcon::kWarning: return QMessageBox::Warning;
    case BoxIcon::kInformation: return QMessageBox::Information;
    case BoxIcon::kNone: break;
  }
  return QMessageBox::NoIcon;
}

}  // namespace

std::string ApplicationName() {
  if (QCoreApplication::instance()) {
    const QByteArray name =
        QFileInfo(QCoreApplication::applicationFilePath()).completeBaseName().toLocal8Bit();
    if (!name.isEmpty()) return name.toStdString();
  }
  return product::kProgramName;
}

BoxAnswer MessageBox(QWidget* owner, const char* text, const char* caption, BoxButtons buttons,
                     BoxIcon icon, const char* details) {
  const bool yesNo = buttons == BoxButtons::kYesNo;
  const QByteArray title =
      caption ? QByteArray(caption) : QByteArray::fromStdString(ApplicationName());
  if (!qobject_cast<QApplication*>(QCoreApplication::instance())) {
    std::string lines = title.toStdString() + ": " + (text ? text : "") + "\n";
    if (details) lines += std::string(details) + "\n";
    platform::WriteStandardError(lines);
    return yesNo ? BoxAnswer::kNo : BoxAnswer::kOk;
  }
  QMessageBox box(IconFor(icon), QString::fromLatin1(title), QString::fromLatin1(text ? text : ""),
                  QMessageBox::NoButton, owner);
  box.setTextFormat(Qt::PlainText);
  // File paths are in the local encoding, unlike the box's own 8-bit texts.
  if (details) box.setDetailedText(QString::fromLocal8Bit(details));
  if (yesNo) {
    QPushButton* yes = box.addButton(QMessageBox::Yes);
    QPushButton* no = box.addButton(QMessageBox::No);
    box.setDefaultButton(yes);
    box.setEscapeButton(no);
    box.exec();
    return box.clickedButton() == yes ? BoxAnswer::kYes : BoxAnswer::kNo;
  }
  QPushButton* ok = box.addButton(QMessageBox::Ok);
  box.setDefaultButton(ok);
  box.setEscapeButton(ok);
  box.exec();
  return BoxAnswer::kOk;
}

void ShowModelessWarning(const char* text, const char* caption) {
  if (!qobject_cast<QApplication*>(QCoreApplication::instance())) {
    platform::WriteStandardError(std::string(caption) + ": " + text + "\n");
    return;
  }
  auto* box = new QMessageBox(QMessageBox::Warning, QString::fromLatin1(caption),
                              QString::fromLatin1(text), QMessageBox::Ok);
  box->setTextFormat(Qt::PlainText);
  box->setAttribute(Qt::WA_DeleteOnClose);
  box->setWindowModality(Qt::NonModal);  // the threads that report it must not stall
  box->show();
}

}  // namespace widgets
