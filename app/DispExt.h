#pragma once

#include <QString>
#include <QStringList>
#include <vector>

// One displayable extension: lower case with its dot (".jpg").
struct TDispExt {
    QString Ext;
    bool Enabled = false;
};

// The table of displayable extensions: the four built-in ones first, then the
// plug-ins' extensions in the order they were first met, none twice.
extern std::vector<TDispExt> DispExt;

// Rebuilds DispExt from the loaded plug-ins' extension lists, in plug-in
// order. Only each plug-in's first line counts; a plug-in without any line is
// passed over.
void BuildDispExtFrom(const std::vector<QStringList>& pluginExtensions);

// Whether an extension (with its dot, any case) is displayable.
bool IsDispExt(QStringView ext);
