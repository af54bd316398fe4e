#include "app/TakenReader.h"

#include "app/MainRules.h"

#include <QMetaObject>

TTakenReader::TTakenReader(QObject* parent, TReady ready)
    : QObject(parent), Ready(std::move(ready)) {}

TTakenReader::~TTakenReader() {
    Stop();
}

void TTakenReader::Stop() {
    ++Generation;
    Cancel = true;
    if (Worker.joinable())
        Worker.join();
    Cancel = false;
}

void TTakenReader::Start(const QString& folder, const QStringList& names) {
    Stop();
    Done = false;
    const int generation = ++Generation;
    // The worker gets copies; the facts come back through the event loop,
    // never once this reader is gone or has started again.
    Worker = std::thread([this, folder, names, generation] {
        std::vector<TTakenFacts> facts;
        facts.reserve(size_t(names.size()));
        for (const QString& name : names) {
            if (Cancel)
                return;
            facts.push_back(ReadTakenFacts(JoinPath(folder, name)));
        }
        Done = true;
        QMetaObject::invokeMethod(
            this,
            [this, folder, names, generation, facts = std::move(facts)] {
                if (generation == Generation)
                    Ready(folder, names, facts);
            },
            Qt::QueuedConnection);
    });
}
