// SPDX-FileCopyrightText: 2026 Quadrelle Project
// SPDX-License-Identifier: GPL-3.0-or-later

#include "PlayerTestSupport.h"

#include "QuadvApplication.h"
#include "WindowsMediaPlayer.h"

#include <QDir>
#include <QFile>
#include <QTest>

#include <unistd.h>

void EnsureApplication() {
    static int argc = 1;
    static char name[] = "player-test";
    static char* argv[] = {name, nullptr};
    static TQuadvApplication* app = new TQuadvApplication(argc, argv);
    (void)app;
}

bool TScriptedOpenDialog::Execute(QWidget*) {
    FTitles << GetTitle();
    FInitialDirs << GetInitialDir();
    if (FOnExecute)
        FOnExecute();
    if (FAnswers.empty())
        return false;
    const std::optional<QString> answer = FAnswers.front();
    FAnswers.pop_front();
    if (!answer)
        return false;
    SetFileName(*answer);
    return true;
}

TMainWindowHarness::TMainWindowHarness(std::optional<std::u16string> UserName)
    : FUserName(std::move(UserName)) {
    EnsureApplication();
    FExecutable = std::filesystem::path(FDir.path().toStdString()) / "quadrelle";
    SetMessageHook([this](QWidget* Owner, const QString& Caption, const QString& Text) {
        FMessages.push_back({Owner, Caption, Text});
    });
}

TMainWindowHarness::~TMainWindowHarness() {
    FWindow.reset();
    SetMessageHook({});
}

void TMainWindowHarness::Create() {
    // A second call stands for the program's next start in the same folder.
    FWindow.reset();
    FEngines.clear();
    TQuadvMainEnvironment environment;
    environment.CreatePane = [this](QWidget* Parent) {
        auto engine = std::make_unique<TFakeMediaEngine>();
        FEngines.push_back(engine.get());
        return new TWindowsMediaPlayer(std::move(engine), Parent);
    };
    auto dialog = std::make_unique<TScriptedOpenDialog>();
    FDialog = dialog.get();
    environment.OpenDialog = std::move(dialog);
    environment.QueryUserName = [this] { return FUserName; };
    environment.Executable = FExecutable;
    environment.InStepClock = [this] { return FClockNow; };
    environment.SoundAligner = FSoundAligner;
    // Never the real program's guard.
    environment.MutexName = u"QUADV-test-" + QString::number(::getpid()).toStdU16String();
    FWindow = std::make_unique<TQUADV_MAIN>(std::move(environment));
}

bool TMainWindowHarness::CreateShown() {
    Create();
    FWindow->show();
    FWindow->activateWindow();
    if (!QTest::qWaitForWindowActive(FWindow.get()))
        return false;
    ClearAllCalls();
    return true;
}

void TMainWindowHarness::Keys(QKeyCombination Keys) {
    QTest::keySequence(FWindow.get(), QKeySequence(Keys));
}

QString TMainWindowHarness::FilePath(const QString& Name) const {
    return FDir.filePath(Name);
}

void TMainWindowHarness::Open(const std::vector<QString>& Files) {
    for (const QString& file : Files) {
        if (file.isEmpty()) {
            FDialog->FAnswers.push_back(std::nullopt);
        } else {
            QFile touch(FilePath(file));
            (void)touch.open(QIODevice::WriteOnly);
            FDialog->FAnswers.push_back(FilePath(file));
        }
    }
    FWindow->B_OpenClick(nullptr);
}

std::vector<std::string> TMainWindowHarness::TakeCalls(int I) {
    std::vector<std::string> calls = FEngines[I]->Calls();
    FEngines[I]->ClearCalls();
    return calls;
}

void TMainWindowHarness::ClearAllCalls() {
    for (TFakeMediaEngine* engine : FEngines)
        engine->ClearCalls();
}
