#include "widgets/wait_cursor.h"

#include <QCursor>
#include <QGuiApplication>

namespace widgets {

WaitCursor::WaitCursor() {
  if (qobject_cast<QGuiApplication*>(QCoreApplication::instance())) {
    QGuiApplication::setOverrideCursor(QCursor(Qt::WaitCursor));
    shown_ = true;
  }
}

WaitCursor::~WaitCursor() {
  if (shown_ && QCoreApplication::instance()) QGuiApplication::restoreOverrideCursor();
}

}  // namespace widgets
