#pragma once

#include <QLabel>

// A plain text that covers the picture view in place of a picture: what the
// view tells when the selected file could not be shown. It follows its
// parent's size and lets the mouse through to the view below.
class TViewNotice : public QLabel {
    Q_OBJECT
public:
    explicit TViewNotice(QWidget* parent);

    // Shows the text over the whole view; an empty text hides it.
    void Tell(const QString& text);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
};

// The notice for a file that could not be shown: its name, then the reason.
QString NoticeText(const QString& name, const QString& reason);
