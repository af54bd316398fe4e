#pragma once

#include "toolkit/Graphic.h"

// An icon picture, read by Qt's ICO reader. Of the images an icon file holds,
// the largest (and of equal sizes the deepest) is the picture.
class TIcon : public TGraphic {
public:
    static TGraphicClass StaticClass();
    TGraphicClass ClassType() const override { return StaticClass(); }

    // Reads an icon file image from the stream's current position; raises
    // EInvalidGraphic when it is not one or is damaged.
    void LoadFromStream(QIODevice& Stream) override;
};
