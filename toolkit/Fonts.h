#pragma once

#include <QFont>
#include <QString>

// The font every window of the program is designed in.
inline const QString DesignFontFamily = QStringLiteral("ＭＳ Ｐゴシック");
// The Linux font that stands in for it (fonts-ipafont-gothic).
inline const QString DesignFontSubstitute = QStringLiteral("IPAPGothic");

// Maps the design font to the installed Japanese font. Called once at start
// (and by tests) before any window is created; calling it again is harmless.
void InstallFontSubstitutions();

// The design font at the given pixel height.
QFont DesignFont(int pixelSize);
