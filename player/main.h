// SPDX-FileCopyrightText: 2026 Quadrelle Project
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "OpenDialog.h"
#include "SoundAlignJob.h"

#include <QMainWindow>
#include <QPoint>
#include <QRect>
#include <QSize>
#include <QString>
#include <QStringList>

#include <array>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

class QAction;
class QComboBox;
class QMenu;
class QMenuBar;
class QProgressDialog;
class QPushButton;
class QShortcut;
class QTimer;
class TDblClickLabel;
class TFixedThumbScrollBar;
class THandOverServer;
class TInStepLink;
class TWindowsMediaPlayer;
class TWindowSnapper;
struct TInStepMap;

using TMutexHandle = void*; // as the platform layer names it

inline constexpr char16_t kApplicationTitle[] = u"Quadrelle 150727";

// What the main window takes from its surroundings. The defaults are the real
// ones; tests put fakes in their place.
struct TQuadvMainEnvironment {
    // Makes one media pane as a child of Parent; required (the entry gives the
    // libmpv pane, tests a scripted one).
    std::function<TWindowsMediaPlayer*(QWidget* Parent)> CreatePane;
    // The file-open dialog (default: Qt's).
    std::unique_ptr<TOpenDialog> OpenDialog;
    // The logon user name, nullopt when it cannot be read (default: the platform's).
    std::function<std::optional<std::u16string>()> QueryUserName;
    // The program's own path, which names the settings file and locates the
    // data files (default: the running executable).
    std::filesystem::path Executable;
    // The single-instance guard's name.
    std::u16string MutexName = u"QUADV";
    // The clock, in seconds, that linked panes are kept in step by (default:
    // the steady clock, by which the engines time their reports).
    std::function<double()> InStepClock;
    TSoundAligner SoundAligner; // by default DefaultSoundAligner()
};

// The quad player's main window: four media panes in a two-by-two grid below
// a panel of controls, driven together. It owns the panes, the menus, the
// popup, the file dialog and the state every command shares.
class TQUADV_MAIN : public QMainWindow {
    Q_OBJECT
public:
    explicit TQUADV_MAIN(TQuadvMainEnvironment Environment = {}, QWidget* Parent = nullptr);
    ~TQUADV_MAIN() override;

    // Window elements, as the window definition creates them.
    TWindowsMediaPlayer* WindowsMediaPlayer1 = nullptr;
    TWindowsMediaPlayer* WindowsMediaPlayer2 = nullptr;
    QWidget* Panel = nullptr;
    QComboBox* CB_MovieSize = nullptr;
    QPushButton* B_Option = nullptr;
    QPushButton* B_Open = nullptr;
    QPushButton* B_Play = nullptr;
    QPushButton* B_Stop = nullptr;
    QPushButton* B_Mute1 = nullptr;
    QPushButton* B_Mute2 = nullptr;
    QPushButton* B_MuteReset = nullptr;
    QPushButton* B_Mute3 = nullptr;
    QPushButton* B_Mute4 = nullptr;
    TDblClickLabel* L_Balance = nullptr;
    TFixedThumbScrollBar* SC_Balance = nullptr;
    TDblClickLabel* L_Rate = nullptr;
    TFixedThumbScrollBar* SC_Rate = nullptr;
    TDblClickLabel* L_Volume = nullptr;
    TFixedThumbScrollBar* SC_Volume = nullptr;
    std::unique_ptr<TOpenDialog> OpenDialog;
    QMenu* PM_Option = nullptr;
    QAction* PM_AutoRepeat = nullptr;
    QAction* PM_Link = nullptr;
    TWindowsMediaPlayer* WindowsMediaPlayer3 = nullptr;
    TWindowsMediaPlayer* WindowsMediaPlayer4 = nullptr;
    QMenuBar* MainMenu = nullptr;
    QMenu* S_File = nullptr;
    QAction* S_Open = nullptr;
    QAction* S_N01 = nullptr;
    QAction* S_Exit = nullptr;
    QMenu* S_Control = nullptr;
    QAction* S_Play = nullptr;
    QAction* S_Stop = nullptr;
    QAction* S_N02 = nullptr;
    QAction* S_Mute1 = nullptr;
    QAction* S_Mute2 = nullptr;
    QAction* S_Mute3 = nullptr;
    QAction* S_Mute4 = nullptr;
    QAction* S_MuteReset = nullptr;
    QAction* S_N03 = nullptr;
    QAction* S_FrameStep = nullptr;
    QAction* S_FrameBackStep = nullptr;
    QAction* S_Snapshot = nullptr;
    QAction* S_N04 = nullptr;
    QAction* S_AlignHere = nullptr;
    QAction* S_AlignSound = nullptr;
    QAction* S_AlignReset = nullptr;
    QAction* S_FullScreen = nullptr;
    QMenu* S_Help = nullptr;
    QAction* S_About = nullptr;
    QAction* S_Readme = nullptr;
    QAction* S_History = nullptr;

    // State shared by the commands.
    std::array<TWindowsMediaPlayer*, 4> FPlayers{}; // pane index to pane; fixed after construction
    std::array<bool, 4> FLoaded{};                  // the latest Open gave the pane a file
    QString FUserSuffix;                            // "_" + logon user name, or ""
    int32_t FSizeX[20]{};                           // preset movie widths
    int32_t FSizeY[20]{};                           // preset movie heights
    QString FSizeText[20];                          // preset captions, item order of CB_MovieSize
    int32_t FSizeCount = 0;                         // presets in use, 0..20
    QString FTitle;                                 // the application title at construction
    TMutexHandle FMutex = nullptr;                  // the single-instance guard, from first show

    // Commands. Sender is the element that started the command (unused unless
    // it carries a pane's tag); nullptr when the program runs it.
    void B_OpenClick(QObject* Sender);
    void B_PlayClick(QObject* Sender);
    void B_StopClick(QObject* Sender);
    void WindowsMediaPlayerClick(TWindowsMediaPlayer* Sender, short nButton, short nShiftState, int fX,
                                 int fY);
    void S_ExitClick(QObject* Sender);
    // Gives pane Pane (0..3) the file at Path as Open does for a chosen file:
    // the pane loads it without playing and is marked loaded, the file dialog
    // remembers its folder, and "[" + the file's name + "]" joins Files, after
    // a "+" unless Files is empty. When the pane cannot take the file, the
    // error display shows why, the pane is left empty and not loaded, Files is
    // unchanged and the result is false.
    bool LoadPaneFile(int Pane, const QString& Path, QString& Files);

    // Files given from outside the window. OpenFiles empties the panes and
    // lays them out as Open does, gives the first four files to panes 0 to 3
    // as Open gives chosen files, and plays them.
    void OpenFiles(const QStringList& Files);
    // Files from the command line or a second start: OpenFiles runs from the
    // event loop once no command has a dialog or message open, and the window
    // comes to the front. Files still waiting are replaced by later ones.
    void OpenFilesWhenIdle(const QStringList& Files);
    // Files dropped on pane Pane go into it and the panes after it, in order;
    // the other panes keep theirs, and the caption lists every loaded pane.
    void DropFiles(int Pane, const QStringList& Files);
    void B_OptionClick(QObject* Sender);
    void S_ReadmeClick(QObject* Sender);
    void S_HistoryClick(QObject* Sender);
    void S_AboutClick(QObject* Sender);
    void CB_MovieSizeChange(QObject* Sender);

    void SC_VolumeChange(QObject* Sender);
    void SC_BalanceChange(QObject* Sender);
    void SC_RateChange(QObject* Sender);
    void L_VolumeDblClick(QObject* Sender);
    void L_BalanceDblClick(QObject* Sender);
    void L_RateDblClick(QObject* Sender);
    void B_MuteClick(QObject* Sender);
    void S_MuteClick(QObject* Sender);
    void B_MuteResetClick(QObject* Sender);

    // Every loaded pane pauses (if it plays) and shows its next or previous frame.
    void S_FrameStepClick(QObject* Sender);
    void S_FrameBackStepClick(QObject* Sender);
    // Saves the frame every loaded pane shows into SnapshotFolder(), named
    // after the movie, the pane and the position, never over a file that
    // exists. A file that cannot be saved is named on the error display.
    void S_SnapshotClick(QObject* Sender);
    // "Quadrelle" in the user's pictures folder (XDG_PICTURES_DIR of the
    // user's folder settings, else ~/Pictures), created when needed. Throws
    // EQuadvError naming it when it cannot be created.
    QString SnapshotFolder() const;

    // Offsets: the panes' files against each other's (see TInStepMap).
    void S_AlignHereClick(QObject* Sender);
    void S_AlignSoundClick(QObject* Sender);
    void S_AlignResetClick(QObject* Sender);
    void SetPaneMap(int Pane, const TInStepMap& Map);
    QProgressDialog* AlignProgress() const { return FAlignProgress; }

    // Full screen: the four panes fill the window's monitor.
    void S_FullScreenClick(QObject* Sender);
    void SetFullScreen(bool FullScreen);
    bool IsFullScreen() const { return FFullScreen.has_value(); }

    void PM_LinkClick(QObject* Sender);
    void PM_AutoRepeatClick(QObject* Sender);
    void WindowsMediaPlayer1PositionChange(TWindowsMediaPlayer* Sender, double oldPosition,
                                           double newPosition);
    void WindowsMediaPlayer2PositionChange(TWindowsMediaPlayer* Sender, double oldPosition,
                                           double newPosition);
    void WindowsMediaPlayer3PositionChange(TWindowsMediaPlayer* Sender, double oldPosition,
                                           double newPosition);
    void WindowsMediaPlayer4PositionChange(TWindowsMediaPlayer* Sender, double oldPosition,
                                           double newPosition);

    // The end of the user's session: closes the window as Exit does.
    void WMEndSession();

    // Settings, presets and layout.
    void FormShow();
    void FormClose();
    void LoadSettings();
    void SaveSettings();
    void LoadMovieSizes();
    void ApplyMovieSize();
    QString GetLogonUserName();

    // The settings file for reading (ForWriting false) or writing.
    std::filesystem::path SettingsFile(bool ForWriting) const;
    // The client area below the menu bar, which holds the panel and the panes.
    QWidget* ClientArea() const { return FClient; }
    // Keeps the linked panes in step while they play.
    TInStepLink* InStep() const { return FInStep; }

protected:
    void showEvent(QShowEvent* Event) override;
    void closeEvent(QCloseEvent* Event) override;
    bool eventFilter(QObject* Watched, QEvent* Event) override;

private:
    void CreateElements();
    void CreateMenus();
    void EmptyPanes();
    void OpenWaitingFiles();
    bool PaneDragEvent(int Pane, QEvent* Event);
    void ConnectPositionChange(int Pane);
    void LinkedSeek(int Pane, double newPosition);
    // Plays a pane that is not playing, pauses one that plays: +1 started, -1 paused, 0 neither.
    int PlayOrPause(int Pane);
    // With Link on, linked panes that were just paused land on one frame,
    // and panes that were just started are kept in step.
    void LinkPlayOrPause(bool Started, bool Paused);
    void StepAll(bool Forward);
    int AlignReference() const;
    void LinkAligned(int Reference);
    void PollSoundAlign();
    void FinishSoundAlign();
    void CancelSoundAlign();
    void LayoutFullScreen();

    std::function<double()> FInStepClock; // until the link takes it
    std::function<std::optional<std::u16string>()> FQueryUserName;
    std::filesystem::path FExecutable;
    std::u16string FMutexName;
    QWidget* FClient = nullptr;
    TWindowSnapper* FSnapper = nullptr;
    TInStepLink* FInStep = nullptr;
    THandOverServer* FHandOver = nullptr;     // takes a second start's files, from first show to close
    std::optional<QStringList> FWaitingFiles; // for OpenFilesWhenIdle
    QTimer* FWaitingTimer = nullptr;          // looks again while a dialog is open
    bool FShown = false;                      // FormShow has run; it runs once
    bool FClosed = false;                     // FormClose has run; the settings are written once

    // Aligning by sound, while it runs.
    struct TSoundAlignRun {
        std::unique_ptr<TSoundAlignJob> Job;
        int Reference = -1;
        std::vector<int> Panes;       // the pane of each of the job's files
        std::array<QString, 4> Files; // what the panes held when it started
    };
    TSoundAligner FSoundAligner;
    std::optional<TSoundAlignRun> FSoundAlign;
    QTimer* FSoundAlignTimer = nullptr; // polls the job
    QProgressDialog* FAlignProgress = nullptr;

    // While full screen: the window as it was, to return to it exactly.
    struct TWindowedPlace {
        QPoint Frame; // the frame's outer top-left corner
        QSize Client;
        std::array<QRect, 4> Panes;
    };
    std::optional<TWindowedPlace> FFullScreen;
    QShortcut* FLeaveFullScreen = nullptr; // Esc
};

extern TQUADV_MAIN* QUADV_MAIN;
