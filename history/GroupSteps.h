#pragma once

#include "history/FileSteps.h"

#include <QString>
#include <QStringList>

// The file steps of a picture and its companions, taken as one: a clash is
// decided once for the whole group, a step that cannot be taken for every
// member is taken for none (the members already moved go back), and undo
// and redo take the group's steps back or again together. A group of one is
// a plain file step.
class TGroupSteps {
public:
    TGroupSteps(QWidget* owner, THistory& history, TFileSteps& steps, TStepQuestions& questions)
        : Owner(owner), History(history), Steps(steps), Questions(questions) {}

    // As for TFileSteps; the file steps' own settings are kept aside while
    // a group goes, since the group has decided its clash already.
    TClashPolicy Policy = cpAsk;
    bool AskBeforeOverwrite = true;

    // Every path whose file may have come or gone in the last call.
    QStringList Touched;

    // `members`: the lead's path first, then its companions, all in one
    // folder. A companion that has gone is left out, and said so; a lead
    // that has gone stops the step. Each answers whether the lead went.
    bool Copy(const QStringList& members, const QString& folder);
    bool Move(const QStringList& members, const QString& folder);
    bool Trash(const QStringList& members);
    // Removes the members for good and writes it to the history.
    bool DeleteForGood(const QStringList& members);

    bool Undo();
    bool Redo();

    // Settles the group steps a crash cut short (after TFileSteps::Recover
    // has settled the file that was on its way): the members left behind
    // follow the others, or, where that cannot be, the others come back.
    void Recover();
    // For tests: the members a copy or move takes before it stops as a
    // killed program would (-1: all).
    int StopAfter = -1;

    // The captions of the undo and redo commands, a group named by its lead
    // and its marks: "元に戻す: IMG_0001.JPG +CR2 +xmp の移動".
    QString UndoCaption() const;
    QString RedoCaption() const;

private:
    enum TKind { gkCopy, gkMove, gkTrash };
    // The members that are there; a missing lead stops (an empty list).
    QStringList Present(const QStringList& members);
    // The targets, the clash decided for the group; empty when it stops.
    QStringList Targets(const QStringList& members, const QString& folder);
    // What can be known before a file moves: the folders can be written,
    // the target has room.
    bool CanTake(TKind kind, const QStringList& members, const QString& folder);
    bool Take(TKind kind, const QStringList& members, const QStringList& targets);
    bool Go(TKind kind, const QStringList& members, const QString& folder);
    // Takes `count` steps; when one fails, `back` takes the ones taken back.
    bool AllOrNothing(int count, bool (TFileSteps::*step)(), bool (TFileSteps::*back)());
    // Takes the group's done steps back and out of the history, newest first.
    void TakeBack(quint64 group);
    // The steps of the group at the top of the undo side, or at the start
    // of the redo side: [first, last) in the history's steps.
    std::pair<int, int> UndoGroup() const;
    std::pair<int, int> RedoGroup() const;
    QString GroupText(std::pair<int, int> range) const;
    bool Refused(const QString& path, const char* why);
    void TouchAll(const QStringList& paths);

    QWidget* Owner;
    THistory& History;
    TFileSteps& Steps;
    TStepQuestions& Questions;
};
