// SPDX-FileCopyrightText: 2026 Quadrelle Project
// SPDX-License-Identifier: GPL-3.0-or-later

#include "SampleClips.h"

#include <QColor>
#include <QImage>

int SampleClipFrame(const QImage& Picture) {
    // Bit i is block i from the left, black for 1; each block is a 40th of
    // the width wide and tall, starting one block in.
    if (Picture.width() < 40)
        return -1;
    const int Block = Picture.width() / 40;
    int Number = 0;
    for (int Bit = 0; Bit < 8; ++Bit) {
        const QColor Pixel = Picture.pixelColor(Block + Bit * Block + Block / 2, Block + Block / 2);
        if (qGray(Pixel.rgb()) < 128)
            Number |= 1 << Bit;
    }
    return Number;
}
