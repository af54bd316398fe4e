#include "toolkit/Fonts.h"

#include <QStringList>

void InstallFontSubstitutions() {
    if (!QFont::substitutes(DesignFontFamily).contains(DesignFontSubstitute))
        QFont::insertSubstitution(DesignFontFamily, DesignFontSubstitute);
}

QFont DesignFont(int pixelSize) {
    QFont font(DesignFontFamily);
    font.setPixelSize(pixelSize);
    return font;
}
