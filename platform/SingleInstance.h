#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>

#include <optional>

class QDeadlineTimer;
class QLocalServer;
class QWidget;

// The per-user name under which the running copy answers: "hPrevCalendar"
// followed by the user id.
QString DefaultInstanceKey();

// One copy of the program at a time. The first copy listens on a local
// socket; a later start connects, hands over its start argument (if any),
// asks the first copy to bring its window to the front and ends. A socket
// left behind by a copy that crashed is removed and the name taken over.
class TSingleInstance : public QObject {
    Q_OBJECT
public:
    explicit TSingleInstance(const QString& key = DefaultInstanceKey(), QObject* parent = nullptr);
    ~TSingleInstance() override;

    // True when this copy is now the one that runs (it listens for later
    // starts); false when another copy took the request, so the caller ends.
    // `argument` is this start's argument, as an absolute path, handed to the
    // running copy. Never waits longer than about 1 s: a copy that does not
    // answer by then (busy or hung) keeps the request queued and this start
    // ends; a copy that is just quitting leaves the name to this one.
    bool TryBecomePrimary(const std::optional<QString>& argument = std::nullopt);

    // Starts answering later starts. Until then their requests wait in the
    // queue, so none arrives before its receivers are connected.
    void Serve();

    QString Key() const { return FKey; }
    bool IsPrimary() const { return FServer != nullptr; }

signals:
    // A later start handed over its argument, to be opened as a start
    // argument is. Comes before the ActivateRequested of the same start.
    void OpenRequested(const QString& argument);
    // A later start asked this copy to restore, show and raise its window.
    void ActivateRequested();

private:
    enum TAnswer { anNoCopy, anClosed, anAnswered, anNoAnswer };
    TAnswer AskRunningCopy(const QByteArray& request, const QDeadlineTimer& deadline);
    bool Listen();
    void ServerNewConnection();
    void HandleRequest(const QByteArray& line);

    QString FKey;
    QLocalServer* FServer = nullptr;
    bool FServing = false;
};

// A start argument as the running copy needs it: an argument given by its
// bytes, made absolute against this process's working folder (an empty one
// stays empty, as it means nothing on either side).
QString AbsoluteStartArgument(const QByteArray& argument);

// Restores a window from minimised, shows it, raises it and gives it focus.
void BringWindowToFront(QWidget* window);
