#pragma once

#include "toolkit/TakenTime.h"

#include <QObject>
#include <QStringList>

#include <atomic>
#include <functional>
#include <thread>
#include <vector>

// Reads when the files of a folder were taken, away from the window's
// thread, and hands the facts back to it when all are read.
class TTakenReader : public QObject {
public:
    using TReady = std::function<void(const QString& folder, const QStringList& names,
                                      const std::vector<TTakenFacts>& facts)>;
    TTakenReader(QObject* parent, TReady ready);
    ~TTakenReader() override;

    // Reads the names of the folder, after ending a reading under way.
    void Start(const QString& folder, const QStringList& names);
    void Stop();
    bool Running() const { return Worker.joinable() && !Done; }

private:
    TReady Ready;
    std::thread Worker;
    std::atomic<bool> Cancel{false};
    std::atomic<bool> Done{true};
    int Generation = 0; // of the reading under way, on the window's thread
};
