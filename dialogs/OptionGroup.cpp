// The options dialog's choice of whether same-named files (a RAW+JPEG pair,
// sidecars, the clip of a Live Photo) are one item, and which of them leads.
#include "dialogs/Option.h"

#include "dialogs/DialogParts.h"
#include "settings/Settings.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QRadioButton>

void TfrmOption::CreateGroupGroup() {
    auto* group =
        Named(new QGroupBox(QStringLiteral("同じ名前のファイルの組 (RAW+JPEG など)"), tbsAction),
              "grpGroup");
    group->setGeometry(8, 252, 369, 75);
    chkGroup = MakeChoice<QCheckBox>(QStringLiteral("一つのファイルとして扱う(&G)"), "chkGroup",
                                     group, 16, 22);
    auto* lead = new QLabel(QStringLiteral("一覧に出すもの:"), group);
    lead->setGeometry(36, 46, 100, 20);
    rbtGroupLeadPicture = MakeChoice<QRadioButton>(QStringLiteral("JPEG などの画像"),
                                                   "rbtGroupLeadPicture", group, 136, 46);
    rbtGroupLeadRaw =
        MakeChoice<QRadioButton>(QStringLiteral("RAW"), "rbtGroupLeadRaw", group, 276, 46);
    rbtGroupLeadPicture->resize(130, 20);
    rbtGroupLeadRaw->resize(80, 20);
    connect(chkGroup, &QCheckBox::toggled, this, [this](bool on) {
        rbtGroupLeadPicture->setEnabled(on);
        rbtGroupLeadRaw->setEnabled(on);
    });
}

void TfrmOption::SetGroupControls() {
    // Only 0 turns the groups off, only 1 lets the raw lead.
    chkGroup->setChecked(IniRec.Group != 0);
    (IniRec.GroupLead == 1 ? rbtGroupLeadRaw : rbtGroupLeadPicture)->setChecked(true);
    rbtGroupLeadPicture->setEnabled(IniRec.Group != 0);
    rbtGroupLeadRaw->setEnabled(IniRec.Group != 0);
}

void TfrmOption::GetGroupControls() {
    IniRec.Group = chkGroup->isChecked() ? 1 : 0;
    IniRec.GroupLead = rbtGroupLeadRaw->isChecked() ? 1 : 0;
}
