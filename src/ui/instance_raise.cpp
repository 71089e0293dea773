#include "ui/instance_raise.h"

#include <QDeadlineTimer>
#include <QLocalServer>
#include <QLocalSocket>
#include <QString>
#include <QThread>

#include "platform/instance_lock.h"

namespace ui {
namespace {

constexpr char kAnswer[] = "raised\n";
// A copy that has just taken the lock listens a moment later; a second start in that moment
// tries again at this pace until its time-out.
constexpr int kRetryMs = 50;

}  // namespace

std::string InstanceSocketPath() {
  std::string path = platform::InstanceLockPath();
  const std::string suffix = ".lock";
  if (path.size() >= suffix.size() &&
      path.compare(path.size() - suffix.size(), suffix.size(), suffix) == 0)
    path.resize(path.size() - suffix.size());
  return path + ".socket";
}

RaiseListener::RaiseListener() = default;
RaiseListener::~RaiseListener() = default;

bool RaiseListener::Listen(std::function<void()> onRaise, std::string* error) {
  onRaise_ = std::move(onRaise);
  server_ = std::make_unique<QLocalServer>();
  server_->setSocketOptions(QLocalServer::UserAccessOption);
  const QString path = QString::fromStdString(InstanceSocketPath());
  // The lock's holder is the only copy that listens: whatever is at the path was left by one
  // that ended without removing it.
  QLocalServer::removeServer(path);
  if (!server_->listen(path)) {
    if (error)
      *error =
          "cannot listen at " + path.toStdString() + ": " + server_->errorString().toStdString();
    server_.reset();
    return false;
  }
  QObject::connect(server_.get(), &QLocalServer::newConnection, server_.get(), [this] {
    while (QLocalSocket* client = server_->nextPendingConnection()) {
      QObject::connect(client, &QLocalSocket::disconnected, client, &QObject::deleteLater);
      onRaise_();
      client->write(kAnswer);
      client->disconnectFromServer();
    }
  });
  return true;
}

bool AskRunningCopyToRaise(int timeoutMs) {
  const QString path = QString::fromStdString(InstanceSocketPath());
  const QDeadlineTimer deadline(timeoutMs);
  QLocalSocket socket;
  for (;;) {
    socket.connectToServer(path);
    if (socket.waitForConnected(int(deadline.remainingTime()))) break;
    if (deadline.hasExpired()) return false;
    QThread::msleep(kRetryMs);
  }
  QByteArray answer;
  while (!answer.endsWith('\n') && socket.waitForReadyRead(int(deadline.remainingTime())))
    answer += socket.readAll();
  return answer == kAnswer;
}

}  // namespace ui
