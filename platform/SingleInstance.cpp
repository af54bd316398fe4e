#include "platform/SingleInstance.h"

#include <QLocalServer>
#include <QLocalSocket>
#include <QWidget>

#include <unistd.h>

namespace {
// What a later start sends, and what the running copy answers.
const QByteArray ActivateRequest = "activate\n";
const QByteArray ActivateAnswer = "ok\n";
constexpr int ConnectTimeoutMs = 1000;
constexpr int AnswerTimeoutMs = 2000;
} // namespace

QString DefaultInstanceKey() {
    return QStringLiteral("hPrevCalendar-%1").arg(static_cast<qulonglong>(::getuid()));
}

TSingleInstance::TSingleInstance(const QString& key, QObject* parent)
    : QObject(parent), FKey(key) {}

TSingleInstance::~TSingleInstance() {
    if (FServer)
        FServer->close(); // removes the socket file
}

bool TSingleInstance::TryBecomePrimary() {
    if (FServer)
        return true;
    // Two attempts: a copy that starts at the same instant may take the name
    // between our failed connect and our listen; then it is the one to ask.
    for (int attempt = 0; attempt < 2; ++attempt) {
        if (AskRunningCopy())
            return false;
        // Nobody answered: whatever is left under the name is stale.
        QLocalServer::removeServer(FKey);
        if (Listen())
            return true;
    }
    // The name cannot be had: run without guarding, as two copies started
    // together would.
    return true;
}

bool TSingleInstance::AskRunningCopy() {
    QLocalSocket socket;
    socket.connectToServer(FKey);
    if (!socket.waitForConnected(ConnectTimeoutMs))
        return false;
    socket.write(ActivateRequest);
    socket.flush();
    socket.waitForBytesWritten(AnswerTimeoutMs);
    // Wait for the answer so the request is read before this copy ends; a
    // copy too busy to answer still finds the request when it gets to it.
    QByteArray answer;
    while (!answer.contains('\n') && socket.waitForReadyRead(AnswerTimeoutMs))
        answer += socket.readAll();
    socket.disconnectFromServer();
    return true;
}

bool TSingleInstance::Listen() {
    // Default socket options: listen() then fails on a name that is taken
    // (with access options Qt renames its socket over whatever is there).
    auto* server = new QLocalServer(this);
    if (!server->listen(FKey)) {
        delete server;
        return false;
    }
    FServer = server;
    connect(FServer, &QLocalServer::newConnection, this, &TSingleInstance::ServerNewConnection);
    return true;
}

void TSingleInstance::ServerNewConnection() {
    while (QLocalSocket* socket = FServer->nextPendingConnection()) {
        connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
        auto handle = [this, socket] {
            if (!socket->canReadLine())
                return;
            const QByteArray line = socket->readLine();
            if (line == ActivateRequest) {
                socket->write(ActivateAnswer);
                socket->flush();
                emit ActivateRequested();
            }
            socket->disconnectFromServer();
        };
        connect(socket, &QLocalSocket::readyRead, this, handle);
        handle(); // the request may already be there
    }
}

void BringWindowToFront(QWidget* window) {
    if (!window)
        return;
    window->setWindowState((window->windowState() & ~Qt::WindowMinimized) | Qt::WindowActive);
    window->show();
    window->raise();
    window->activateWindow();
}
