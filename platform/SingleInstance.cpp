#include "platform/SingleInstance.h"

#include "platform/FileName.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QLocalServer>
#include <QLocalSocket>
#include <QThread>
#include <QTimer>
#include <QWidget>

#include <unistd.h>

namespace {
// What a later start sends, and what the running copy answers. An argument
// travels as the hex digits of its bytes, so any file name passes unchanged.
const QByteArray ActivateRequest = "activate\n";
const QByteArray OpenRequest = "open ";
const QByteArray ActivateAnswer = "ok\n";
// The whole hand-over, from connecting to the answer.
constexpr int HandOverTimeoutMs = 1000;
// Longest request line taken (a path of 4096 bytes in hex, with room).
constexpr qint64 MaxRequestBytes = 16384;
} // namespace

QString DefaultInstanceKey() {
    return QStringLiteral("hPrevCalendar-%1").arg(static_cast<qulonglong>(::getuid()));
}

QString AbsoluteStartArgument(const QByteArray& argument) {
    const QString path = PathFromBytes(argument);
    if (path.isEmpty() || QDir::isAbsolutePath(path))
        return path;
    QByteArray cwd(4096, '\0');
    if (!::getcwd(cwd.data(), size_t(cwd.size())))
        return QDir::cleanPath(QDir::current().filePath(path));
    cwd.truncate(qsizetype(qstrlen(cwd.constData())));
    return QDir::cleanPath(PathFromBytes(cwd) + QLatin1Char('/') + path);
}

TSingleInstance::TSingleInstance(const QString& key, QObject* parent)
    : QObject(parent), FKey(key) {}

TSingleInstance::~TSingleInstance() {
    if (FServer)
        FServer->close(); // removes the socket file
}

bool TSingleInstance::TryBecomePrimary(const std::optional<QString>& argument) {
    if (FServer)
        return true;
    const QByteArray request =
        argument ? OpenRequest + PathToBytes(*argument).toHex() + '\n' : ActivateRequest;
    const QDeadlineTimer deadline(HandOverTimeoutMs);
    for (;;) {
        switch (AskRunningCopy(request, deadline)) {
        case anAnswered:
        case anNoAnswer: // busy or hung: it finds the request when it gets to it
            return false;
        case anNoCopy:
            // Nobody listens: whatever is left under the name is stale. A
            // copy that starts at the same instant may take the name first;
            // then it is the one to ask.
            QLocalServer::removeServer(FKey);
            if (Listen())
                return true;
            break;
        case anClosed: // the running copy is quitting: its name goes soon
            QThread::msleep(20);
            break;
        }
        if (deadline.hasExpired()) {
            // The name cannot be had: run without guarding, as two copies
            // started together would.
            return true;
        }
    }
}

TSingleInstance::TAnswer TSingleInstance::AskRunningCopy(const QByteArray& request,
                                                         const QDeadlineTimer& deadline) {
    QLocalSocket socket;
    socket.connectToServer(FKey);
    if (!socket.waitForConnected(int(qMax<qint64>(1, deadline.remainingTime()))))
        return anNoCopy;
    socket.write(request);
    socket.flush();
    // Wait for the answer so the request is read before this copy ends.
    QByteArray answer;
    while (!answer.contains('\n') && socket.state() == QLocalSocket::ConnectedState &&
           !deadline.hasExpired()) {
        if (socket.bytesToWrite() > 0)
            socket.waitForBytesWritten(int(qMax<qint64>(1, deadline.remainingTime())));
        else
            socket.waitForReadyRead(int(qMax<qint64>(1, deadline.remainingTime())));
        answer += socket.readAll();
    }
    answer += socket.readAll();
    if (answer.startsWith(ActivateAnswer))
        return anAnswered;
    if (socket.state() != QLocalSocket::ConnectedState)
        return anClosed;
    socket.abort();
    return anNoAnswer;
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
    return true;
}

void TSingleInstance::Serve() {
    if (!FServer || FServing)
        return;
    FServing = true;
    connect(FServer, &QLocalServer::newConnection, this, &TSingleInstance::ServerNewConnection);
    ServerNewConnection(); // starts that came before
}

void TSingleInstance::ServerNewConnection() {
    while (QLocalSocket* socket = FServer->nextPendingConnection()) {
        connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
        auto handle = [this, socket] {
            if (!socket->canReadLine()) {
                if (socket->bytesAvailable() > MaxRequestBytes)
                    socket->abort();
                return;
            }
            const QByteArray line = socket->readLine(MaxRequestBytes);
            socket->write(ActivateAnswer);
            socket->flush();
            socket->disconnectFromServer();
            // Acted on once the socket is done with: opening a folder lets
            // other events run.
            QTimer::singleShot(0, this, [this, line] { HandleRequest(line); });
        };
        connect(socket, &QLocalSocket::readyRead, this, handle);
        handle(); // the request may already be there
    }
}

void TSingleInstance::HandleRequest(const QByteArray& line) {
    if (line.startsWith(OpenRequest) && line.endsWith('\n')) {
        const QByteArray hex = line.mid(OpenRequest.size(), line.size() - OpenRequest.size() - 1);
        emit OpenRequested(PathFromBytes(QByteArray::fromHex(hex)));
    } else if (line != ActivateRequest) {
        return; // not ours
    }
    emit ActivateRequested();
}

void BringWindowToFront(QWidget* window) {
    if (!window)
        return;
    window->setWindowState((window->windowState() & ~Qt::WindowMinimized) | Qt::WindowActive);
    window->show();
    window->raise();
    window->activateWindow();
}
