#include "dialogs/About.h"
#include "dialogs/DialogParts.h"
#include "platform/PlatformServices.h"

#include "platform/MessageBox.h"
#include "toolkit/Fonts.h"
#include "toolkit/IconSet.h"

#include <QFrame>
#include <QKeyEvent>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QPushButton>
#include <QUrl>

namespace {

// A label sized to its text with its top left at (x, y).
void PlaceLabel(QLabel* label, int x, int y) {
    label->adjustSize();
    label->move(x, y);
}

// A right-aligned label whose right edge is at x.
void PlaceRightAligned(QLabel* label, int right, int y) {
    label->setAlignment(Qt::AlignRight | Qt::AlignTop);
    label->adjustSize();
    label->move(right - label->width(), y);
}
} // namespace

QPoint CentredOver(const QRect& owner, const QSize& own) {
    // Integer division truncates toward zero, as the layout rule wants.
    int top = owner.top() + (owner.height() - own.height()) / 2;
    if (top < 0)
        top = 0;
    int left = owner.left() + (owner.width() - own.width()) / 2;
    if (left < 0)
        left = 0;
    return QPoint(left, top);
}

void OpenUrlText(const QString& url) {
    Platform()->OpenUrl(url);
}

TfrmAbout::TfrmAbout(QWidget* owner)
    : QDialog(owner, Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint |
                         Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint) {
    setObjectName(QStringLiteral("frmAbout"));
    setFont(DesignFont(12));
    setFixedSize(392, 126);
    // Mouse moves over the bare surface arrive without a button pressed.
    setMouseTracking(true);

    auto named = [this](auto* widget, const char* name) {
        widget->setObjectName(QLatin1String(name));
        return widget;
    };
    Bevel1 = named(new QFrame(this), "Bevel1");
    Bevel1->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    Bevel1->setGeometry(16, 16, 49, 49);

    imgIcon = named(new QLabel(this), "imgIcon");
    imgIcon->setGeometry(24, 24, 33, 33);

    lblVersion = named(new QLabel(this), "lblVersion");
    lblVersion->setFont(DesignFont(16));
    lblCopyright = named(new QLabel(this), "lblCopyright");
    lblCopyright->setFont(DesignFont(13));

    Bevel2 = named(new QFrame(this), "Bevel2");
    Bevel2->setFrameStyle(QFrame::HLine | QFrame::Sunken);
    Bevel2->setGeometry(8, 80, 377, 2);

    Label1 = named(new QLabel(QStringLiteral("H P :"), this), "Label1");
    PlaceRightAligned(Label1, 68, 88);
    Label3 = named(new QLabel(QStringLiteral("Mail :"), this), "Label3");
    PlaceRightAligned(Label3, 68, 104);

    for (QLabel** link : {&lblHPAddress, &lblMailAddress}) {
        *link = new QLabel(this);
        (*link)->setFont(DesignFont(13));
        (*link)->setCursor(Qt::PointingHandCursor);
        (*link)->setMouseTracking(true);
        (*link)->installEventFilter(this);
    }
    lblHPAddress->setObjectName(QStringLiteral("lblHPAddress"));
    lblMailAddress->setObjectName(QStringLiteral("lblMailAddress"));

    cmdExit = named(new QPushButton(QStringLiteral("OK"), this), "cmdExit");
    cmdExit->setGeometry(312, 8, 75, 25);
    // Enter must not press it.
    cmdExit->setAutoDefault(false);
    cmdExit->setDefault(false);
    connect(cmdExit, &QPushButton::clicked, this, [this] { Guarded([this] { cmdExitClick(); }); });

    FormCreate();
}

void TfrmAbout::FormCreate() {
    // Centred over the main window.
    if (QWidget* owner = parentWidget()) {
        const QWidget* main = owner->window();
        // Not shown yet, the dialog has no frame: count it with the frame
        // margins of the main window.
        const QSize margins = main->frameGeometry().size() - main->size();
        move(CentredOver(main->frameGeometry(), size() + margins));
    }
    setWindowTitle(AboutCaption);
    // The program's icon at the top left of the image.
    QPixmap surface(imgIcon->size());
    surface.fill(Qt::transparent);
    {
        QPainter painter(&surface);
        painter.drawPixmap(0, 0, ProgramIconPixmap(32));
    }
    imgIcon->setPixmap(surface);
    // The version and copyright lines, then the two links below them.
    lblVersion->setText(AboutVersionText);
    PlaceLabel(lblVersion, 80, 16);
    lblCopyright->setText(AboutCopyright);
    PlaceLabel(lblCopyright, 80, 48);
    lblHPAddress->setText(AboutHomePage);
    PlaceLabel(lblHPAddress, 72, 88);
    lblMailAddress->setText(AboutMailAddress);
    PlaceLabel(lblMailAddress, 72, 104);
}

void TfrmAbout::SetLinkHighlight(QLabel* label, bool on) {
    QPalette pal = label->palette();
    pal.setColor(QPalette::WindowText,
                 on ? QColor(0, 0, 255) : palette().color(QPalette::WindowText));
    label->setPalette(pal);
    QFont font = label->font();
    font.setUnderline(on);
    if (!on) {
        font.setBold(false);
        font.setItalic(false);
        font.setStrikeOut(false);
    }
    label->setFont(font);
}

void TfrmAbout::FormMouseMove() {
    SetLinkHighlight(lblHPAddress, false);
    SetLinkHighlight(lblMailAddress, false);
}

void TfrmAbout::lblHPAddressMouseMove() {
    SetLinkHighlight(lblHPAddress, true);
}

void TfrmAbout::lblMailAddressMouseMove() {
    SetLinkHighlight(lblMailAddress, true);
}

void TfrmAbout::lblHPAddressClick() {
    OpenUrlText(lblHPAddress->text());
}

void TfrmAbout::lblMailAddressClick() {
    OpenUrlText(QStringLiteral("mailto:") + lblMailAddress->text());
}

void TfrmAbout::cmdExitClick() {
    close();
}

void TfrmAbout::mouseMoveEvent(QMouseEvent* event) {
    // Only moves over the dialog's own surface arrive here: the link labels
    // keep theirs, and the other controls do not track the mouse.
    Guarded([this] { FormMouseMove(); });
    event->accept();
}

void TfrmAbout::keyPressEvent(QKeyEvent* event) {
    if (!RefuseCloseKey(event))
        QDialog::keyPressEvent(event);
}

bool TfrmAbout::eventFilter(QObject* watched, QEvent* event) {
    QLabel* link = watched == lblHPAddress     ? lblHPAddress
                   : watched == lblMailAddress ? lblMailAddress
                                               : nullptr;
    if (!link)
        return QDialog::eventFilter(watched, event);
    switch (event->type()) {
    case QEvent::MouseMove:
        // Handled here so the move does not reach the dialog's surface.
        Guarded([&] {
            if (link == lblHPAddress)
                lblHPAddressMouseMove();
            else
                lblMailAddressMouseMove();
        });
        return true;
    case QEvent::MouseButtonPress:
        if (static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton)
            FPressedLink = link;
        return true;
    case QEvent::MouseButtonRelease: {
        auto* mouse = static_cast<QMouseEvent*>(event);
        if (mouse->button() != Qt::LeftButton)
            return true;
        const bool click =
            FPressedLink == link && link->rect().contains(mouse->position().toPoint());
        FPressedLink = nullptr;
        if (click)
            Guarded([&] {
                if (link == lblHPAddress)
                    lblHPAddressClick();
                else
                    lblMailAddressClick();
            });
        return true;
    }
    default:
        return QDialog::eventFilter(watched, event);
    }
}

void ShowAboutDialog(QWidget* owner) {
    TfrmAbout dialog(owner);
    dialog.exec();
}
