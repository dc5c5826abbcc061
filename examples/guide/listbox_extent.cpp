// SPDX-FileCopyrightText: 2026 Quadrelle Project
// SPDX-License-Identifier: MIT

// TListBoxEx keeps its horizontal extent at its widest item plus Space, so
// that the horizontal scroll bar appears exactly when an item is wider than
// the list, and reaches the end of the widest one. The program adds items,
// deletes the widest and clears the list, printing the extent after each
// step; with --show it then stays open.
//
//     listbox_extent [--show]
#include <quadrelle/widgets/ListBoxEx.h>

#include <QApplication>
#include <QScrollBar>

#include <cstdio>

namespace {

void Print(const char* Step, TListBoxEx& Box) {
    QApplication::processEvents(); // let the view lay itself out
    const intptr_t Extent = Box.Perform(LB_GETHORIZONTALEXTENT);
    std::printf("%s: items %d, widest %d, extent %ld, scroll bar %s\n", Step, Box.Items().Count(),
                Box.GetMaxWidth(), static_cast<long>(Extent),
                Box.horizontalScrollBar()->isVisible() ? "shown" : "hidden");
}

} // namespace

int main(int argc, char** argv) {
    QApplication App(argc, argv);
    const bool Show = argc > 1 && QString::fromLocal8Bit(argv[1]) == QStringLiteral("--show");

    TListBoxEx Box;
    Box.resize(240, 160);
    Box.SetSpace(8); // pixels past the end of the widest item
    Box.show();
    Print("empty", Box);

    Box.Items().Add(QStringLiteral("short"));
    Print("added a short item", Box);
    Box.Items().Add(QStringLiteral("an item somewhat longer"));
    Print("added a longer item", Box);
    const int Widest =
        Box.Items().Add(QStringLiteral("the widest item of them all, wider than the list box"));
    Print("added the widest item", Box);

    Box.Items().Delete(Widest); // the rest is measured again
    Print("deleted the widest item", Box);
    Box.Items().Clear();
    Print("cleared", Box);

    if (!Show)
        return 0;
    for (const char* Text : {"one", "two, a little wider", "three, the widest of the three items by far"})
        Box.Items().Add(QString::fromUtf8(Text));
    return App.exec();
}
