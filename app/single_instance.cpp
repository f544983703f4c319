#include "app/single_instance.h"

#include <unistd.h>

#include <QCryptographicHash>
#include <QLocalServer>
#include <QLocalSocket>
#include <cstdlib>

#include "diagnostics/diagnostics.h"

namespace {
constexpr int kConnectMs = 1000;
const QByteArray kRestoreRequest = "restore\n";

QString SettingsFolder() {
  if (const char* dir = std::getenv("SORN_CONFIG_DIR"); dir && *dir) return QString::fromUtf8(dir);
  if (const char* xdg = std::getenv("XDG_CONFIG_HOME"); xdg && *xdg) return QString::fromUtf8(xdg);
  const char* home = std::getenv("HOME");
  return QString::fromUtf8(home ? home : "") + "/.config";
}
}  // namespace

QString InstanceSocketName() {
  const QByteArray hash =
      QCryptographicHash::hash(SettingsFolder().toUtf8(), QCryptographicHash::Sha1)
          .toHex()
          .left(12);
  return QString("sorn-karaoke-%1-%2").arg(getuid()).arg(QString::fromLatin1(hash));
}

bool SignalRunningInstance() {
  QLocalSocket socket;
  socket.connectToServer(InstanceSocketName());
  if (!socket.waitForConnected(kConnectMs)) return false;
  socket.write(kRestoreRequest);
  const bool sent = socket.waitForBytesWritten(kConnectMs);
  // Wait for the first instance to take the request before this process ends.
  socket.waitForReadyRead(kConnectMs);
  socket.disconnectFromServer();
  return sent;
}

QLocalServer* ListenForSecondStarts(std::function<void()> restore) {
  auto* server = new QLocalServer();
  server->setSocketOptions(QLocalServer::UserAccessOption);
  if (!server->listen(InstanceSocketName())) {
    // A socket left behind by an instance that ended without cleaning up.
    QLocalServer::removeServer(InstanceSocketName());
    if (!server->listen(InstanceSocketName())) {
      Trace("ListenForSecondStarts: cannot listen on %s: %s\n",
            InstanceSocketName().toUtf8().constData(), server->errorString().toUtf8().constData());
      delete server;
      return nullptr;
    }
  }
  QObject::connect(server, &QLocalServer::newConnection, server, [server, restore] {
    while (QLocalSocket* socket = server->nextPendingConnection()) {
      QObject::connect(socket, &QLocalSocket::readyRead, socket, [socket, restore] {
        if (socket->readAll().contains("restore")) {
          Trace("WinMain: a second start asked to restore the window\n");
          if (restore) restore();
          socket->write("ok\n");
          socket->flush();
        }
      });
      QObject::connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
    }
  });
  return server;
}
