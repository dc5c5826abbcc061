// SPDX-FileCopyrightText: 2026 Quadrelle Project
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "ErrorDisplay.h"
#include "FakeMediaEngine.h"
#include "OpenDialog.h"
#include "Shell.h"
#include "main.h"

#include <QStringList>
#include <QTemporaryDir>

#include <deque>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

// The one application object of a test program (the player's own, so that
// errors thrown by handlers take the error display's path).
void EnsureApplication();

// A file dialog that answers from a script: a path picks that file, nullopt
// cancels. It records the title and initial folder it was run with.
class TScriptedOpenDialog final : public TOpenDialog {
public:
    std::deque<std::optional<QString>> FAnswers;
    QStringList FTitles;
    QStringList FInitialDirs;
    std::function<void()> FOnExecute; // runs inside each Execute, before it answers

    bool Execute(QWidget* Owner) override;
};

class TRecordingShell final : public TShell {
public:
    QStringList FCalls; // "verb file"
    void Execute(QWidget*, const QString& Verb, const QString& File) override {
        FCalls << Verb + u' ' + File;
    }
};

struct TShownMessage {
    QWidget* Owner;
    QString Caption;
    QString Text;
};

// A main window over four scripted panes, in a temporary folder that holds
// its executable's path, with messages recorded instead of shown.
class TMainWindowHarness {
public:
    explicit TMainWindowHarness(std::optional<std::u16string> UserName = u"alice");
    ~TMainWindowHarness();

    QTemporaryDir FDir;
    std::filesystem::path FExecutable;
    std::vector<TFakeMediaEngine*> FEngines; // pane order
    TScriptedOpenDialog* FDialog = nullptr;
    std::vector<TShownMessage> FMessages;
    std::unique_ptr<TQUADV_MAIN> FWindow;
    double FClockNow = 100.0;    // the clock the window keeps linked panes in step by
    TSoundAligner FSoundAligner; // the window's, when set before Create

    // Builds the window; call after changing the folder's files if needed.
    // Called again, it replaces the window as the program's next start would.
    void Create();
    // Builds the window, shows and activates it, and clears the calls that
    // made; false when the window never became active.
    bool CreateShown();
    // Types Keys into the window.
    void Keys(QKeyCombination Keys);
    // Loads the given panes through Open, by script (empty: cancel).
    void Open(const std::vector<QString>& Files);
    QString FilePath(const QString& Name) const;
    // The recorded calls of pane I's engine, then cleared.
    std::vector<std::string> TakeCalls(int I);
    void ClearAllCalls();

private:
    std::optional<std::u16string> FUserName;
};
