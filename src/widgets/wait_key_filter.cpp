#include "widgets/wait_key_filter.h"

#include <QCoreApplication>
#include <QKeyEvent>
#include <QThread>

#include "platform/ui_waits.h"

namespace widgets {

WaitKeyFilter::WaitKeyFilter(const platform::UiWaits& waits) : waits_(waits) {
  if (QCoreApplication* app = QCoreApplication::instance()) app->installEventFilter(this);
}

WaitKeyFilter::~WaitKeyFilter() {
  if (QCoreApplication* app = QCoreApplication::instance()) app->removeEventFilter(this);
}

bool WaitKeyFilter::eventFilter(QObject*, QEvent* event) {
  const QEvent::Type type = event->type();
  if (type != QEvent::KeyPress && type != QEvent::KeyRelease && type != QEvent::ShortcutOverride)
    return false;
  const int level = waits_.WaitLoopLevel();
  if (level < 0 || QThread::currentThread()->loopLevel() != level) return false;
  if (static_cast<QKeyEvent*>(event)->key() == Qt::Key_Space) return false;
  // An accepted override tells Qt the key is taken, so no shortcut or mnemonic fires.
  if (type == QEvent::ShortcutOverride) event->accept();
  return true;
}

}  // namespace widgets
