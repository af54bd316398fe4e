#include "app/MainRules.h"

#include <QLocale>
#include <cmath>

QString JoinPath(const QString& folder, const QString& name) {
    return folder + QLatin1Char('/') + name;
}

QString ExtractFileName(const QString& path) {
    const qsizetype slash = path.lastIndexOf(QLatin1Char('/'));
    return slash < 0 ? path : path.mid(slash + 1);
}

QStringList ExtensionsFromPatternLine(const QString& line) {
    QStringList out;
    const QStringList pieces = line.split(QLatin1Char(';'));
    for (const QString& piece : pieces)
        out << LowerAZ(piece.mid(1));
    return out;
}

QString FileCountText(int count) {
    return QString::number(count) + QStringLiteral(" Files");
}

QString PictureSizeText(int width, int height) {
    return QString::number(width) + QStringLiteral(" x ") + QString::number(height);
}

QString FileSizeText(qint64 bytes) {
    if (bytes >= 1024)
        return QString::number(bytes / 1024) + QStringLiteral(" KB");
    return QString::number(bytes) + QStringLiteral(" Byte");
}

namespace {
// The system's long time format without a time-zone part, which the
// Windows desktop's long time never shows.
QString LongTimeFormat(const QLocale& locale) {
    QString format = locale.timeFormat(QLocale::LongFormat);
    format.remove(QLatin1Char('t'));
    return format.trimmed();
}
} // namespace

QString FileDateText(const QDateTime& lastWrite) {
    const QDateTime local = lastWrite.toLocalTime();
    QTime time = local.time();
    // File dates are kept at a two-second grain.
    time = QTime(time.hour(), time.minute(), time.second() - time.second() % 2);
    const QLocale locale; // the system's, unless the program chose another
    const QString date = locale.toString(local.date(), QLocale::ShortFormat);
    if (time == QTime(0, 0, 0))
        return date;
    return date + QLatin1Char(' ') + locale.toString(time, LongTimeFormat(locale));
}

QString FileNamePanelText(const QString& path, int fileNameSetting) {
    return fileNameSetting != 0 ? path : ExtractFileName(path);
}

QString ModeCaption(int mode) {
    return mode == 0 ? QStringLiteral("ヴェルモ！ - コピーモード")
                     : QStringLiteral("ヴェルモ！ - 移動モード");
}

QSize ProportionalStretchSize(int boxWidth, int boxHeight, int pictureWidth, int pictureHeight) {
    const float rw = pictureWidth == 0 ? 0.0f : float(boxWidth) / float(pictureWidth);
    const float rh = pictureHeight == 0 ? 0.0f : float(boxHeight) / float(pictureHeight);
    const float s = rw > rh ? rh : rw;
    const long double w = static_cast<long double>(pictureWidth) * s - 4;
    const long double h = static_cast<long double>(pictureHeight) * s - 4;
    return QSize(static_cast<int>(std::trunc(w)), static_cast<int>(std::trunc(h)));
}

bool FitShowsActualSize(int dispSize, int zoom, QSize picture, QSize box) {
    if (dispSize == 0)
        return true;
    if (zoom == 0)
        return false;
    return picture.width() <= box.width() && picture.height() <= box.height();
}

int IndexAfterRemoval(int removed, int lastIndex) {
    return removed > lastIndex ? lastIndex : removed;
}

int DigitForKey(int qtKey, quint32 nativeScanCode, Qt::KeyboardModifiers modifiers) {
    // X11 key codes of the physical keys (evdev + 8).
    if (nativeScanCode >= 10 && nativeScanCode <= 19) // main row 1..9, 0
        return int(nativeScanCode - 9) % 10;
    // Keypad keys give digits only while Num Lock makes them digits; with it
    // off they are navigation keys, as on the Windows desktop.
    const bool digitSymbol = qtKey >= Qt::Key_0 && qtKey <= Qt::Key_9;
    int keypad = -1;
    switch (nativeScanCode) {
    case 90:
        keypad = 0;
        break;
    case 87:
        keypad = 1;
        break;
    case 88:
        keypad = 2;
        break;
    case 89:
        keypad = 3;
        break;
    case 83:
        keypad = 4;
        break;
    case 84:
        keypad = 5;
        break;
    case 85:
        keypad = 6;
        break;
    case 79:
        keypad = 7;
        break;
    case 80:
        keypad = 8;
        break;
    case 81:
        keypad = 9;
        break;
    default:
        break;
    }
    if (keypad >= 0)
        return digitSymbol ? keypad : -1;
    // Without a native key code (another platform, synthetic events) the
    // digit symbols stand for their keys.
    if (nativeScanCode == 0 && digitSymbol)
        return qtKey - Qt::Key_0;
    Q_UNUSED(modifiers);
    return -1;
}

QList<QKeySequence> ViewerKeys(TViewerCommand command) {
    switch (command) {
    case vcPrev:
        return {Qt::Key_P, Qt::Key_Left, Qt::Key_Backspace};
    case vcNext:
        return {Qt::Key_N, Qt::Key_Right, Qt::Key_Space};
    case vcFirst:
        return {Qt::Key_Home};
    case vcLast:
        return {Qt::Key_End};
    case vcDelete:
        return {Qt::Key_D, Qt::Key_Delete};
    case vcFullScreen:
        return {Qt::Key_F11};
    case vcNone:
        break;
    }
    return {};
}

TViewerCommand ViewerCommandForKey(int qtKey, Qt::KeyboardModifiers modifiers) {
    if (modifiers & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier))
        return vcNone;
    for (TViewerCommand c : {vcPrev, vcNext, vcFirst, vcLast, vcDelete, vcFullScreen})
        for (const QKeySequence& key : ViewerKeys(c))
            if (key[0].key() == qtKey)
                return c;
    return vcNone;
}
