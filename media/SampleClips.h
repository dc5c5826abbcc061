// SPDX-FileCopyrightText: 2026 Quadrelle Project
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

class QImage;

// What the test clips of scripts/make-sample-clips carry in their pictures,
// for the tests and benchmarks that check which frame a pane shows.

// The frame number coded in the eight blocks along the top left of Picture,
// the clip's whole picture at any size; -1 when there is no picture.
int SampleClipFrame(const QImage& Picture);
