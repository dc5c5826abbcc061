// SPDX-FileCopyrightText: 2026 Quadrelle Project
// SPDX-License-Identifier: GPL-3.0-or-later

#include <QApplication>

#include <gtest/gtest.h>

#include <memory>

// Widget tests need one application object that outlives every test and
// Qt's own test devices. Listing the tests (CTest's discovery, which runs
// without the tests' environment) needs none.
int main(int Argc, char** Argv) {
    ::testing::InitGoogleTest(&Argc, Argv);
    std::unique_ptr<QApplication> App;
    if (!GTEST_FLAG_GET(list_tests))
        App = std::make_unique<QApplication>(Argc, Argv);
    return RUN_ALL_TESTS();
}
