#pragma once

#include <QLabel>
#include <QStringList>
#include <QTimer>
#include <QWidget>

struct TOutFolderRec;

// The ten keys over the picture: a strip along the bottom edge of the view
// naming each digit's output folder, and a short flash of where a picture
// went after a digit key.

// The legend's text for a digit (0..9) and its slot: "3 風景"; a folder that
// is not there is said so, a slot without a folder shows the digit alone.
QString LegendEntryText(int digit, const TOutFolderRec& slot, bool exists);
// What flashes after the digit sent the picture to the slot: "→ 3 風景".
QString FlashText(int digit, const TOutFolderRec& slot);

// The strip: one cell per digit in the order of the keyboard's row (1 to 9,
// then 0). It follows its parent's size and lets the mouse through.
class TLegend : public QWidget {
    Q_OBJECT
public:
    explicit TLegend(QWidget* parent);
    // The texts of digits 0..9 and whether each can be used.
    void SetEntries(const QStringList& texts, const QList<bool>& usable);
    QStringList Entries() const { return Texts; }

protected:
    void paintEvent(QPaintEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void Place();
    QStringList Texts;
    QList<bool> Usable;
};

// A text shown large in the middle of the view for a moment.
class TFlash : public QLabel {
    Q_OBJECT
public:
    explicit TFlash(QWidget* parent);
    void Flash(const QString& text, int ms = 1000);

private:
    QTimer Timer;
};
