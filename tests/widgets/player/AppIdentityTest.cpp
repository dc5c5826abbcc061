// SPDX-FileCopyrightText: 2026 Quadrelle Project
// SPDX-License-Identifier: GPL-3.0-or-later

#include "PlayerTestSupport.h"
#include "about.h"

#include <QApplication>
#include <QIcon>
#include <QImage>
#include <QUrl>

#include <gtest/gtest.h>

#include <algorithm>

namespace {

TEST(AppIdentity, IdIsThePublishersDomainReversed) {
    const QUrl site(QString::fromUtf16(kPublisherUrl));
    ASSERT_FALSE(site.host().isEmpty());
    QStringList labels = site.host().split(u'.');
    std::reverse(labels.begin(), labels.end());
    EXPECT_EQ(QStringLiteral(QUADV_APP_ID), labels.join(u'.'));
}

TEST(AppIdentity, EveryWindowShowsTheDrawnIconAndNamesTheDesktopEntry) {
    EnsureApplication();
    EXPECT_EQ(QGuiApplication::desktopFileName(), QStringLiteral(QUADV_APP_ID));
    const QIcon icon = QApplication::windowIcon();
    ASSERT_FALSE(icon.isNull());
    for (const int size : {16, 32, 48, 64, 128, 256})
        EXPECT_TRUE(icon.availableSizes().contains(QSize(size, size))) << size;

    // The drawing itself: a transparent corner, the blue top-left pane, the
    // white play mark in the middle.
    const QImage image = icon.pixmap(QSize(256, 256), 1.0).toImage().convertToFormat(QImage::Format_ARGB32);
    ASSERT_EQ(image.size(), QSize(256, 256));
    EXPECT_EQ(qAlpha(image.pixel(1, 1)), 0);
    EXPECT_EQ(image.pixelColor(60, 60), QColor(0x3b, 0x8b, 0xd4));
    EXPECT_EQ(image.pixelColor(128, 128), QColor(Qt::white));

    TMainWindowHarness harness;
    harness.Create();
    EXPECT_EQ(harness.FWindow->windowIcon().cacheKey(), icon.cacheKey());
}

} // namespace
