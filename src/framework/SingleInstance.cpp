#include "framework/SingleInstance.h"

#include <unistd.h>

#include <QLocalSocket>

namespace lunavue {

QString SingleInstance::DefaultName() {
    const QByteArray env = qgetenv("LUNAVUE_INSTANCE");
    if (!env.isEmpty()) {
        return QString::fromLocal8Bit(env);
    }
    return QString("lunavue-%1").arg(getuid());
}

bool SingleInstance::Forward(const QString& name, const QStringList& requests, int timeoutMs) {
    QLocalSocket socket;
    socket.connectToServer(name);
    if (!socket.waitForConnected(timeoutMs)) {
        return false;
    }
    for (const QString& r : requests) {
        QByteArray line = r.toUtf8();
        line.replace('\n', ' ');  // one request a line
        socket.write(line + "\n");
    }
    if (!socket.waitForBytesWritten(timeoutMs)) {
        return false;
    }
    // Wait for every answer: the names are queued when we leave.
    int answered = 0;
    while (answered < requests.size()) {
        if (!socket.canReadLine() && !socket.waitForReadyRead(timeoutMs)) {
            return false;
        }
        while (socket.canReadLine()) {
            if (socket.readLine().trimmed() == "ok") {
                ++answered;
            }
        }
    }
    socket.disconnectFromServer();
    return true;
}

bool SingleInstance::Listen(const QString& name, Request onRequest) {
    onRequest_ = std::move(onRequest);
    server_.setSocketOptions(QLocalServer::UserAccessOption);
    if (!server_.listen(name)) {
        // A socket left behind by a player that crashed: nobody answers on it.
        QLocalSocket probe;
        probe.connectToServer(name);
        if (probe.waitForConnected(500)) {
            return false;  // another player is running and answering
        }
        QLocalServer::removeServer(name);
        if (!server_.listen(name)) {
            return false;
        }
    }
    connect(&server_, &QLocalServer::newConnection, this, &SingleInstance::Accept);
    return true;
}

void SingleInstance::Accept() {
    while (QLocalSocket* socket = server_.nextPendingConnection()) {
        connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
        connect(socket, &QLocalSocket::readyRead, this, [this, socket] {
            while (socket->canReadLine()) {
                const QString text = QString::fromUtf8(socket->readLine()).chopped(1);
                if (onRequest_) {
                    onRequest_(text);
                }
                socket->write("ok\n");
            }
        });
    }
}

}  // namespace lunavue
