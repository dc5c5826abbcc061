#include <QApplication>

#include <gtest/gtest.h>

// Widget tests need one application object that outlives every test and
// Qt's own test devices.
int main(int Argc, char** Argv) {
    QApplication App(Argc, Argv);
    ::testing::InitGoogleTest(&Argc, Argv);
    return RUN_ALL_TESTS();
}
