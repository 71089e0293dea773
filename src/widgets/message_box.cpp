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

QMessageBox::Icon IconFor(unsigned style) {
  switch (style & 0xF0) {
    case kMbIconQuestion: return QMessageBox::Question;
    case kMbIconExclamation: return QMessageBox::Warning;
    case kMbIconInformation: return QMessageBox::Information;
    case 0x10:  // the stop sign
      return QMessageBox::Critical;
    default: return QMessageBox::NoIcon;
  }
}

}  // namespace

const char* ApplicationName() {
  static QByteArray name;
  if (QCoreApplication::instance()) {
    name = QFileInfo(QCoreApplication::applicationFilePath()).completeBaseName().toLocal8Bit();
  }
  if (name.isEmpty()) name = QByteArray(product::kProgramName);
  return name.constData();
}

int MessageBox(QWidget* owner, const char* text, const char* caption, unsigned style,
               const char* details) {
  const bool yesNo = (style & 0x0F) == kMbYesNo;
  const QByteArray title = caption ? QByteArray(caption) : QByteArray(ApplicationName());
  if (!qobject_cast<QApplication*>(QCoreApplication::instance())) {
    std::string lines = title.toStdString() + ": " + (text ? text : "") + "\n";
    if (details) lines += std::string(details) + "\n";
    platform::WriteStandardError(lines);
    return yesNo ? kIdNo : kIdOk;
  }
  QMessageBox box(IconFor(style), QString::fromLatin1(title), QString::fromLatin1(text ? text : ""),
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
    return box.clickedButton() == yes ? kIdYes : kIdNo;
  }
  QPushButton* ok = box.addButton(QMessageBox::Ok);
  box.setDefaultButton(ok);
  box.setEscapeButton(ok);
  box.exec();
  return kIdOk;
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
