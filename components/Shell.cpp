// SPDX-FileCopyrightText: 2026 Quadrelle Project
// SPDX-License-Identifier: MIT

#include "Shell.h"

#include <QDesktopServices>
#include <QDir>
#include <QFileInfo>
#include <QUrl>

namespace {

// xdg-open through Qt. A bare path becomes a file URL; anything with a scheme
// (http:, https:, mailto:) is handed over as it is.
class TDesktopShell final : public TShell {
public:
    void Execute(QWidget*, const QString&, const QString& File) override {
        if (File.isEmpty())
            return;
        const QUrl url = QFileInfo(File).isAbsolute() || !File.contains(u':')
                             ? QUrl::fromLocalFile(QDir::cleanPath(File))
                             : QUrl(File, QUrl::TolerantMode);
        if (url.isLocalFile() && !QFileInfo::exists(url.toLocalFile()))
            return;
        QDesktopServices::openUrl(url);
    }
};

TShell* g_override = nullptr;

} // namespace

TShell::~TShell() = default;

TShell& TShell::Current() {
    static TDesktopShell desktop;
    return g_override ? *g_override : desktop;
}

void TShell::SetCurrent(TShell* Shell) { g_override = Shell; }
