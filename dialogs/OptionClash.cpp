// The options dialog's choice of what happens when a file of the same name is
// already in the output folder.
#include "dialogs/Option.h"

#include "dialogs/DialogParts.h"
#include "settings/Settings.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QRadioButton>

void TfrmOption::CreateClashGroup() {
    auto* clash =
        Named(new QGroupBox(QStringLiteral("同じ名前のファイルがあるとき"), tbsAction), "grpClash");
    clash->setGeometry(8, 192, 369, 53);
    rbtClashAsk =
        MakeChoice<QRadioButton>(QStringLiteral("確認する"), "rbtClashAsk", clash, 16, 22);
    rbtClashBoth =
        MakeChoice<QRadioButton>(QStringLiteral("両方残す"), "rbtClashBoth", clash, 136, 22);
    rbtClashSkip =
        MakeChoice<QRadioButton>(QStringLiteral("スキップする"), "rbtClashSkip", clash, 256, 22);
    for (QRadioButton* b : {rbtClashAsk, rbtClashBoth, rbtClashSkip})
        b->resize(110, 20); // side by side
    // The first choice asks only while 上書き確認する is on; otherwise it
    // overwrites, and says so.
    const auto follow = [this](bool ask) {
        rbtClashAsk->setText(ask ? QStringLiteral("確認する") : QStringLiteral("上書きする"));
    };
    connect(chkOverWrite, &QCheckBox::toggled, rbtClashAsk, follow);
    follow(chkOverWrite->isChecked());
}

void TfrmOption::SetClashControls() {
    // 1 and 2 are the two other choices; anything else is the question.
    (IniRec.Clash == 1   ? rbtClashBoth
     : IniRec.Clash == 2 ? rbtClashSkip
                         : rbtClashAsk)
        ->setChecked(true);
}

void TfrmOption::GetClashControls() {
    IniRec.Clash = rbtClashBoth->isChecked() ? 1 : rbtClashSkip->isChecked() ? 2 : 0;
}
