#pragma once
// Driving modal loops from inside a test: act on the next modal window of a kind once it is up.

#include <QAbstractButton>
#include <QApplication>
#include <QMessageBox>
#include <QTimer>
#include <QWidget>

#include <functional>

namespace ui_test {

// Once a visible modal window of type T is the active modal widget, calls act(window) from the
// event loop, once. Polls every 5 ms; the poller dies with the application or after act.
template <class T>
void OnNextModal(std::function<void(T*)> act) {
  auto* poll = new QTimer(qApp);
  QObject::connect(poll, &QTimer::timeout, [poll, act = std::move(act)] {
    T* window = qobject_cast<T*>(QApplication::activeModalWidget());
    if (!window || !window->isVisible()) return;
    poll->stop();
    poll->deleteLater();
    act(window);
  });
  poll->start(5);
}

// The text and caption of the next message box, which is then answered with OK (or Yes/No).
struct SeenBox {
  bool shown = false;
  QString caption;
  QString text;
  Qt::TextFormat format = Qt::AutoText;
  QMessageBox::Icon icon = QMessageBox::NoIcon;
};

inline void AnswerNextMessageBox(SeenBox* seen,
                                 QMessageBox::StandardButton answer = QMessageBox::Ok) {
  OnNextModal<QMessageBox>([seen, answer](QMessageBox* box) {
    if (seen) {
      seen->shown = true;
      seen->caption = box->windowTitle();
      seen->text = box->text();
      seen->format = box->textFormat();
      seen->icon = box->icon();
    }
    if (QAbstractButton* button = box->button(answer)) button->click();
  });
}

}  // namespace ui_test
