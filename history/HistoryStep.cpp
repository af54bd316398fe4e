#include "history/HistoryStep.h"

#include "platform/FileName.h"

#include <QFileInfo>

namespace {
QString StepText(const THistoryStep& step, bool undo) {
    static const char* const kWhat[] = {"のコピー", "の移動", "の削除", "の削除"};
    QString text = DisplayPath(QFileInfo(step.Source).fileName());
    text.replace(QLatin1Char('&'), QLatin1String("&&")); // no shortcut letter
    text += QLatin1Char(' ') + QString::fromUtf8(kWhat[step.Kind]);
    if (undo && step.Kind == skDelete)
        text += QStringLiteral(" (元に戻せません)");
    return text;
}
} // namespace

QString UndoCaption(const THistoryStep* step) {
    return step ? QStringLiteral("元に戻す: ") + StepText(*step, true)
                : QStringLiteral("元に戻す(&U)");
}

QString RedoCaption(const THistoryStep* step) {
    if (!step)
        return QStringLiteral("やり直し(&R)");
    // A file removed for good is not removed again: redo only passes it.
    return QStringLiteral("やり直し: ") + StepText(*step, false);
}
