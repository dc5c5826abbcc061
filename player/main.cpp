// SPDX-FileCopyrightText: 2026 Quadrelle Project
// SPDX-License-Identifier: GPL-3.0-or-later

#include "main.h"

#include "DblClickLabel.h"
#include "ErrorDisplay.h"
#include "ExecutablePath.h"
#include "FixedThumbScrollBar.h"
#include "HandOver.h"
#include "InStepLink.h"
#include "IniStore.h"
#include "NamedMutex.h"
#include "OpenDialog.h"
#include "PlayerFiles.h"
#include "QuadvError.h"
#include "Shell.h"
#include "UserName.h"
#include "WindowSnapper.h"
#include "WindowsMediaPlayer.h"
#include "about.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QDir>
#include <QDropEvent>
#include <QFile>
#include <QFileInfo>
#include <QLayout>
#include <QMenu>
#include <QMenuBar>
#include <QMimeData>
#include <QPushButton>
#include <QScrollBar>
#include <QSessionManager>
#include <QStandardPaths>
#include <QTimer>
#include <QUrl>

#include <utility>

TQUADV_MAIN* QUADV_MAIN = nullptr;

namespace {

constexpr int kPanelHeight = 39;
constexpr int kPaneTop = 40;
constexpr int kAutoRepeatCount = 999;
constexpr int kVolumeStart = 100;
constexpr int kBalanceStart = 0;
constexpr int kRateStart = 10;

const char* const kTagProperty = "Tag";

const QString kDialogTitles[4] = {QStringLiteral("左上を開く"), QStringLiteral("右上を開く"),
                                  QStringLiteral("左下を開く"), QStringLiteral("右下を開く")};

int TagOf(const QObject* Sender) {
    return Sender ? Sender->property(kTagProperty).toInt() : 0;
}

QFont WindowFont() {
    // Tahoma is the design's face; where it is missing, a face with the same
    // metrics class, and a Japanese face for the captions it cannot show.
    QFont font;
    font.setFamilies({QStringLiteral("Tahoma"), QStringLiteral("DejaVu Sans Condensed"),
                      QStringLiteral("IPAGothic"), QStringLiteral("IPAPGothic")});
    font.setPixelSize(11);
    return font;
}

QPushButton* MakeButton(QWidget* Parent, const QString& Caption, QRect Geometry) {
    auto* button = new QPushButton(Caption, Parent);
    button->setGeometry(Geometry);
    button->setAutoDefault(false);
    return button;
}

TFixedThumbScrollBar* MakeScrollBar(QWidget* Parent, QRect Geometry, int Min, int Max, int Position,
                                    int LargeStep) {
    auto* bar = new TFixedThumbScrollBar(Qt::Horizontal, Parent);
    bar->setGeometry(Geometry);
    bar->setRange(Min, Max);
    bar->setValue(Position);
    bar->setSingleStep(1);
    bar->setPageStep(LargeStep);
    // Reachable with Tab, so that the arrows, Page keys, Home and End work.
    bar->setFocusPolicy(Qt::StrongFocus);
    return bar;
}

TDblClickLabel* MakeLabel(QWidget* Parent, const QString& Caption, QRect Geometry, const QString& Hint) {
    auto* label = new TDblClickLabel(Parent);
    label->setGeometry(Geometry);
    label->SetCaption(Caption);
    label->setToolTip(Hint);
    return label;
}

// Every handler the window connects runs through here as one command, so
// that an error it raises is shown where the command started and never
// travels through Qt's signal and event code. Signal arguments are dropped.
template <typename TCommand> auto Guarded(TCommand Command) {
    return [Command = std::move(Command)] { RunCommand(Command); };
}

// The local files among a drop's URLs, in order; folders and other URLs are
// passed over.
QStringList DroppedFiles(const QMimeData* Data) {
    QStringList files;
    if (!Data || !Data->hasUrls())
        return files;
    for (const QUrl& url : Data->urls())
        if (url.isLocalFile() && !QFileInfo(url.toLocalFile()).isDir())
            files << url.toLocalFile();
    return files;
}

std::u16string U16(const QString& Text) {
    return Text.toStdU16String();
}

// Creates the snapshot's file empty under the first free name, so that no
// other snapshot, of this program or another, can take the name before the
// picture is written into it.
QString ReserveSnapshotFile(const QString& Folder, const QString& Movie, int Pane, double Seconds) {
    constexpr int kMaxCopies = 9999;
    for (int copy = 1; copy <= kMaxCopies; ++copy) {
        const QString path = QDir(Folder).filePath(
            QString::fromStdU16String(SnapshotFileName(U16(Movie), Pane, Seconds, copy)));
        QFile file(path);
        if (file.open(QIODevice::WriteOnly | QIODevice::NewOnly))
            return path;
        const QFileInfo taken(path);
        if (!taken.exists() && !taken.isSymLink())
            throw EQuadvError(path.toStdString() +
                              ": the snapshot cannot be saved: " + file.errorString().toStdString());
    }
    throw EQuadvError(QDir(Folder).filePath(Movie).toStdString() + ": too many snapshots of the same frame");
}

} // namespace

TQUADV_MAIN::TQUADV_MAIN(TQuadvMainEnvironment Environment, QWidget* Parent)
    : QMainWindow(Parent), OpenDialog(std::move(Environment.OpenDialog)),
      FInStepClock(std::move(Environment.InStepClock)),
      FQueryUserName(std::move(Environment.QueryUserName)), FExecutable(std::move(Environment.Executable)),
      FMutexName(std::move(Environment.MutexName)) {
    QUADV_MAIN = this;
    if (!OpenDialog)
        OpenDialog = std::make_unique<TQtOpenDialog>();
    if (!FQueryUserName)
        FQueryUserName = [] { return QueryLogonUserName(); };
    if (FExecutable.empty())
        FExecutable = ExecutablePath();

    setObjectName(QStringLiteral("QUADV_MAIN"));
    setFont(WindowFont());
    // A fixed frame that still offers the minimise and maximise boxes.
    setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowMinimizeButtonHint | Qt::WindowMaximizeButtonHint | Qt::WindowCloseButtonHint);

    FClient = new QWidget(this);
    FClient->setFixedSize(640, 520);
    FClient->installEventFilter(this);
    setCentralWidget(FClient);
    layout()->setSizeConstraint(QLayout::SetFixedSize);

    WindowsMediaPlayer1 = Environment.CreatePane(FClient);
    WindowsMediaPlayer1->setGeometry(0, kPaneTop, 320, 240);
    WindowsMediaPlayer2 = Environment.CreatePane(FClient);
    WindowsMediaPlayer2->setGeometry(320, kPaneTop, 320, 240);
    CreateElements();
    WindowsMediaPlayer3 = Environment.CreatePane(FClient);
    WindowsMediaPlayer3->setGeometry(0, 280, 320, 240);
    WindowsMediaPlayer4 = Environment.CreatePane(FClient);
    WindowsMediaPlayer4->setGeometry(320, 280, 320, 240);
    CreateMenus();

    QWidget::setTabOrder(WindowsMediaPlayer1, WindowsMediaPlayer2);
    QWidget::setTabOrder(WindowsMediaPlayer2, CB_MovieSize);
    QWidget* panelOrder[] = {
        CB_MovieSize,       B_Option, B_Open,  B_Play,     B_Stop,  B_Mute1,   B_Mute2,
        B_MuteReset,        B_Mute3,  B_Mute4, SC_Balance, SC_Rate, SC_Volume, WindowsMediaPlayer3,
        WindowsMediaPlayer4};
    for (size_t i = 1; i < std::size(panelOrder); ++i)
        QWidget::setTabOrder(panelOrder[i - 1], panelOrder[i]);

    // Construction proper.
    FUserSuffix.clear();
    for (QString& text : FSizeText)
        text.clear();
    FTitle = QString::fromUtf16(kApplicationTitle);
    setWindowTitle(FTitle);
    FSizeCount = 0;
    FPlayers = {WindowsMediaPlayer1, WindowsMediaPlayer2, WindowsMediaPlayer3, WindowsMediaPlayer4};
    FLoaded.fill(false);
    for (int i = 0; i < 4; ++i) {
        FPlayers[i]->SetTag(i);
        // Every pane toggles itself when clicked, not only the top-left one.
        FPlayers[i]->SetOnClick(
            [this](TWindowsMediaPlayer* Sender, short nButton, short nShiftState, int fX, int fY) {
                RunCommand([&] { WindowsMediaPlayerClick(Sender, nButton, nShiftState, fX, fY); });
            });
        ConnectPositionChange(i);
        // Files dropped on a pane; its children pass drops up to it.
        FPlayers[i]->setAcceptDrops(true);
        FPlayers[i]->installEventFilter(this);
    }
    FInStep = new TInStepLink(FPlayers, this, std::move(FInStepClock));
    FUserSuffix = GetLogonUserName();
    if (!FUserSuffix.isEmpty())
        FUserSuffix.prepend(u'_');

    FSnapper = new TWindowSnapper(this);
    FHandOver = new THandOverServer([this](const QStringList& Files) { OpenFilesWhenIdle(Files); }, this);
    FWaitingTimer = new QTimer(this);
    FWaitingTimer->setSingleShot(true);
    FWaitingTimer->setInterval(100);
    connect(FWaitingTimer, &QTimer::timeout, this, [this] { OpenWaitingFiles(); });

    if (auto* app = qobject_cast<QGuiApplication*>(QCoreApplication::instance()))
        connect(app, &QGuiApplication::commitDataRequest, this, Guarded([this] { WMEndSession(); }));
}

TQUADV_MAIN::~TQUADV_MAIN() {
    if (QUADV_MAIN == this)
        QUADV_MAIN = nullptr;
}

void TQUADV_MAIN::CreateElements() {
    Panel = new QWidget(FClient);
    Panel->setObjectName(QStringLiteral("Panel"));
    Panel->setGeometry(0, 0, 640, kPanelHeight);

    CB_MovieSize = new QComboBox(Panel);
    CB_MovieSize->setEditable(false);
    CB_MovieSize->setGeometry(5, 7, 115, 21);
    // The hint is carried but never shown; the event filter swallows its tooltip.
    CB_MovieSize->setToolTip(QStringLiteral("動画のサイズの変更"));
    CB_MovieSize->installEventFilter(this);
    connect(CB_MovieSize, &QComboBox::activated, this, Guarded([this] { CB_MovieSizeChange(CB_MovieSize); }));

    B_Option = MakeButton(Panel, QStringLiteral("Option"), {123, 19, 119, 18});
    B_Open = MakeButton(Panel, QStringLiteral("読"), {123, 0, 31, 18});
    B_Play = MakeButton(Panel, QStringLiteral("再/一停"), {155, 0, 57, 18});
    B_Play->setEnabled(false);
    B_Stop = MakeButton(Panel, QStringLiteral("停"), {213, 0, 29, 18});
    B_Stop->setEnabled(false);
    B_Mute1 = MakeButton(Panel, QStringLiteral("1"), {246, 0, 24, 18});
    B_Mute1->setProperty(kTagProperty, 0);
    B_Mute2 = MakeButton(Panel, QStringLiteral("2"), {270, 0, 25, 18});
    B_Mute2->setProperty(kTagProperty, 1);
    B_MuteReset = MakeButton(Panel, QStringLiteral("Reset"), {295, 0, 44, 36});
    B_Mute3 = MakeButton(Panel, QStringLiteral("3"), {246, 19, 24, 17});
    B_Mute3->setProperty(kTagProperty, 2);
    B_Mute4 = MakeButton(Panel, QStringLiteral("4"), {270, 19, 25, 17});
    B_Mute4->setProperty(kTagProperty, 3);

    L_Balance = MakeLabel(Panel, QStringLiteral("Bal(Center)"), {346, 1, 55, 13},
                          QStringLiteral("ダブルクリックでCenterに戻る"));
    SC_Balance = MakeScrollBar(Panel, {404, 1, 86, 13}, -100, 100, kBalanceStart, 20);
    L_Rate = MakeLabel(Panel, QStringLiteral("Spd(100%)"), {494, 1, 55, 13},
                       QStringLiteral("ダブルクリックで100%に戻る"));
    SC_Rate = MakeScrollBar(Panel, {554, 1, 86, 13}, 0, 20, kRateStart, 5);
    L_Volume = MakeLabel(Panel, QStringLiteral("Vol(100%)"), {346, 20, 51, 13},
                         QStringLiteral("ダブルクリックで100%に戻る"));
    SC_Volume = MakeScrollBar(Panel, {404, 20, 236, 13}, 0, 100, kVolumeStart, 10);

    connect(B_Option, &QPushButton::clicked, this, Guarded([this] { B_OptionClick(B_Option); }));
    connect(B_Open, &QPushButton::clicked, this, Guarded([this] { B_OpenClick(B_Open); }));
    connect(B_Play, &QPushButton::clicked, this, Guarded([this] { B_PlayClick(B_Play); }));
    connect(B_Stop, &QPushButton::clicked, this, Guarded([this] { B_StopClick(B_Stop); }));
    for (QPushButton* mute : {B_Mute1, B_Mute2, B_Mute3, B_Mute4})
        connect(mute, &QPushButton::clicked, this, Guarded([this, mute] { B_MuteClick(mute); }));
    connect(B_MuteReset, &QPushButton::clicked, this, Guarded([this] { B_MuteResetClick(B_MuteReset); }));
    // valueChanged fires on real changes only, and on every step of a drag.
    connect(SC_Volume, &QScrollBar::valueChanged, this, Guarded([this] { SC_VolumeChange(SC_Volume); }));
    connect(SC_Balance, &QScrollBar::valueChanged, this, Guarded([this] { SC_BalanceChange(SC_Balance); }));
    connect(SC_Rate, &QScrollBar::valueChanged, this, Guarded([this] { SC_RateChange(SC_Rate); }));
    connect(L_Volume, &TDblClickLabel::DblClick, this, Guarded([this] { L_VolumeDblClick(L_Volume); }));
    connect(L_Balance, &TDblClickLabel::DblClick, this, Guarded([this] { L_BalanceDblClick(L_Balance); }));
    connect(L_Rate, &TDblClickLabel::DblClick, this, Guarded([this] { L_RateDblClick(L_Rate); }));

    PM_Option = new QMenu(this);
    PM_Option->setFont(WindowFont());
    PM_AutoRepeat = PM_Option->addAction(QStringLiteral("AutoRepeat"));
    PM_Link = PM_Option->addAction(QStringLiteral("Link"));
    for (QAction* item : {PM_AutoRepeat, PM_Link}) {
        item->setCheckable(true);
        connect(item, &QAction::triggered, this, Guarded([this, item] {
                    // Qt flips a checkable item before it reports the trigger; the
                    // handlers own the mark, so undo that first.
                    item->setChecked(!item->isChecked());
                    if (item == PM_Link)
                        PM_LinkClick(item);
                    else
                        PM_AutoRepeatClick(item);
                }));
    }
}

void TQUADV_MAIN::CreateMenus() {
    MainMenu = menuBar();
    MainMenu->setFont(WindowFont());
    auto item = [this](QMenu* Menu, const QString& Caption, QKeySequence Shortcut, auto Handler) {
        QAction* action = Menu->addAction(Caption);
        action->setShortcut(Shortcut);
        connect(action, &QAction::triggered, this,
                Guarded([this, action, Handler] { (this->*Handler)(action); }));
        // Also on the window itself, so the shortcut works wherever the focus is.
        addAction(action);
        return action;
    };
    S_File = MainMenu->addMenu(QStringLiteral("ファイル(&F)"));
    S_Open = item(S_File, QStringLiteral("開く(&O)"), QKeySequence(Qt::CTRL | Qt::Key_O),
                  &TQUADV_MAIN::B_OpenClick);
    S_N01 = S_File->addSeparator();
    S_Exit = item(S_File, QStringLiteral("終了(&X)"), {}, &TQUADV_MAIN::S_ExitClick);

    S_Control = MainMenu->addMenu(QStringLiteral("操作(&C)"));
    S_Play = item(S_Control, QStringLiteral("再生/一時停止(&P)"), QKeySequence(Qt::CTRL | Qt::Key_Space),
                  &TQUADV_MAIN::B_PlayClick);
    S_Stop = item(S_Control, QStringLiteral("停止(&S)"), QKeySequence(Qt::CTRL | Qt::Key_Period),
                  &TQUADV_MAIN::B_StopClick);
    S_N02 = S_Control->addSeparator();
    S_Mute1 = item(S_Control, QStringLiteral("左上ミュート/解除(&1)"), QKeySequence(Qt::CTRL | Qt::Key_1),
                   &TQUADV_MAIN::S_MuteClick);
    S_Mute1->setProperty(kTagProperty, 0);
    S_Mute2 = item(S_Control, QStringLiteral("右上ミュート/解除(&2)"), QKeySequence(Qt::CTRL | Qt::Key_2),
                   &TQUADV_MAIN::S_MuteClick);
    S_Mute2->setProperty(kTagProperty, 1);
    S_Mute3 = item(S_Control, QStringLiteral("左下ミュート/解除(&3)"), QKeySequence(Qt::CTRL | Qt::Key_3),
                   &TQUADV_MAIN::S_MuteClick);
    S_Mute3->setProperty(kTagProperty, 2);
    S_Mute4 = item(S_Control, QStringLiteral("右下ミュート/解除(&4)"), QKeySequence(Qt::CTRL | Qt::Key_4),
                   &TQUADV_MAIN::S_MuteClick);
    S_Mute4->setProperty(kTagProperty, 3);
    S_MuteReset = item(S_Control, QStringLiteral("ミュート全解除(&C)"), QKeySequence(Qt::CTRL | Qt::Key_C),
                       &TQUADV_MAIN::B_MuteResetClick);
    S_N03 = S_Control->addSeparator();
    S_FrameStep = item(S_Control, QStringLiteral("コマ送り(&F)"), QKeySequence(Qt::Key_Period),
                       &TQUADV_MAIN::S_FrameStepClick);
    S_FrameBackStep = item(S_Control, QStringLiteral("コマ戻し(&B)"), QKeySequence(Qt::Key_Comma),
                           &TQUADV_MAIN::S_FrameBackStepClick);
    S_Snapshot = item(S_Control, QStringLiteral("スナップショット(&N)"),
                      QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_S), &TQUADV_MAIN::S_SnapshotClick);

    S_Help = MainMenu->addMenu(QStringLiteral("ヘルプ(&H)"));
    S_About = item(S_Help, QStringLiteral("バージョン情報(&A)"), {}, &TQUADV_MAIN::S_AboutClick);
    S_Readme = item(S_Help, QStringLiteral("Readme.txt参照(&R)"), {}, &TQUADV_MAIN::S_ReadmeClick);
    S_History = item(S_Help, QStringLiteral("History.txt参照(&H)"), {}, &TQUADV_MAIN::S_HistoryClick);
    for (QMenu* menu : {S_File, S_Control, S_Help})
        menu->setFont(WindowFont());
}

// ---- Open, Play/Pause, Stop, click, Exit

void TQUADV_MAIN::EmptyPanes() {
    setWindowTitle(QString::fromUtf16(kApplicationTitle));
    B_Play->setEnabled(false);
    B_Stop->setEnabled(false);
    for (int i = 0; i < 4; ++i) {
        FPlayers[i]->Stop();
        FPlayers[i]->SetURL(QString());
        FLoaded[i] = false;
    }
    setWindowTitle(FTitle);
    ApplyMovieSize();
}

void TQUADV_MAIN::B_OpenClick(QObject*) {
    QString files;
    EmptyPanes();
    // The session may end while a file dialog or an error box is open: the
    // window has then closed and saved, so nothing more is loaded or asked for.
    for (int i = 0; i < 4 && !FClosed; ++i) {
        OpenDialog->SetTitle(kDialogTitles[i]);
        const bool chosen = OpenDialog->Execute(this);
        if (chosen && !FClosed)
            LoadPaneFile(i, OpenDialog->GetFileName(), files);
    }
    if (!files.isEmpty()) {
        setWindowTitle(files);
        B_Play->setEnabled(true);
        B_Stop->setEnabled(true);
    }
}

bool TQUADV_MAIN::LoadPaneFile(int Pane, const QString& Path, QString& Files) {
    TWindowsMediaPlayer* pane = FPlayers[Pane];
    try {
        pane->SetURL(Path);
        FLoaded[Pane] = true;
        OpenDialog->SetInitialDir(FolderPart(Path));
        OpenDialog->SetFileName(QString());
        const QString name = FileNamePart(pane->GetURL());
        Files += (Files.isEmpty() ? QStringLiteral("[") : QStringLiteral("+[")) + name + u']';
        return true;
    } catch (const EQuadvError& Error) {
        // A file the pane cannot take (missing, a folder, unreadable) costs
        // that pane alone: it is left empty and the user is told why.
        FLoaded[Pane] = false;
        pane->SetURL(QString());
        ShowErrorDisplay(Error);
        return false;
    }
}

void TQUADV_MAIN::OpenFiles(const QStringList& Files) {
    QStringList paths = Files;
    paths.removeAll(QString());
    QString files;
    EmptyPanes();
    for (int i = 0; i < 4 && i < paths.size() && !FClosed; ++i)
        LoadPaneFile(i, paths[i], files);
    if (files.isEmpty() || FClosed)
        return;
    setWindowTitle(files);
    B_Play->setEnabled(true);
    B_Stop->setEnabled(true);
    B_PlayClick(nullptr);
}

void TQUADV_MAIN::OpenFilesWhenIdle(const QStringList& Files) {
    FWaitingFiles = Files;
    QTimer::singleShot(0, this, [this] { OpenWaitingFiles(); });
}

void TQUADV_MAIN::OpenWaitingFiles() {
    if (!FWaitingFiles || FClosed)
        return;
    // A command with a dialog or a message open (Open, About, an error) is
    // still running inside it; files opened now would land in its middle.
    if (QApplication::activeModalWidget()) {
        FWaitingTimer->start();
        return;
    }
    const QStringList files = *std::exchange(FWaitingFiles, std::nullopt);
    RunCommand([&] { OpenFiles(files); });
    if (FClosed)
        return;
    setWindowState(windowState() & ~Qt::WindowMinimized);
    show();
    raise();
    activateWindow();
}

void TQUADV_MAIN::DropFiles(int Pane, const QStringList& Files) {
    QString ignored;
    for (int j = 0; j < Files.size() && Pane + j < 4 && !FClosed; ++j) {
        FPlayers[Pane + j]->Stop();
        LoadPaneFile(Pane + j, Files[j], ignored);
    }
    if (FClosed)
        return;
    QString files;
    for (int i = 0; i < 4; ++i)
        if (FLoaded[i])
            files += (files.isEmpty() ? QStringLiteral("[") : QStringLiteral("+[")) +
                     FileNamePart(FPlayers[i]->GetURL()) + u']';
    setWindowTitle(files.isEmpty() ? FTitle : files);
    B_Play->setEnabled(!files.isEmpty());
    B_Stop->setEnabled(!files.isEmpty());
}

bool TQUADV_MAIN::PaneDragEvent(int Pane, QEvent* Event) {
    switch (Event->type()) {
    case QEvent::DragEnter:
    case QEvent::DragMove: {
        auto* drag = static_cast<QDragMoveEvent*>(Event);
        if (DroppedFiles(drag->mimeData()).isEmpty())
            drag->ignore();
        else
            drag->acceptProposedAction();
        return true;
    }
    case QEvent::Drop: {
        auto* drop = static_cast<QDropEvent*>(Event);
        const QStringList files = DroppedFiles(drop->mimeData());
        if (files.isEmpty()) {
            drop->ignore();
            return true;
        }
        drop->acceptProposedAction();
        // Loaded after the drop has ended, so that an error box does not
        // hold up the program the files came from.
        QTimer::singleShot(0, this, [this, Pane, files] { RunCommand([&] { DropFiles(Pane, files); }); });
        return true;
    }
    default:
        return false;
    }
}

int TQUADV_MAIN::PlayOrPause(int Pane) {
    // A pane without a file is passed by before its state is asked for, so an
    // empty pane cannot stop the command.
    if (!FLoaded[Pane])
        return 0;
    switch (FPlayers[Pane]->GetPlayState()) {
    case wmppsStopped:
    case wmppsPaused:
    case wmppsReady:
        FPlayers[Pane]->Play();
        return 1;
    case wmppsPlaying:
        FPlayers[Pane]->Pause();
        return -1;
    default:
        return 0;
    }
}

void TQUADV_MAIN::LinkPlayOrPause(bool Started, bool Paused) {
    if (!PM_Link->isChecked())
        return;
    // The pauses reach the engines at different moments; the panes then
    // show neighbouring frames unless they are brought to one.
    if (Paused)
        FInStep->LandPaused();
    if (Started)
        FInStep->Arm();
}

void TQUADV_MAIN::B_PlayClick(QObject*) {
    bool started = false, paused = false;
    for (int i = 0; i < 4; ++i) {
        const int change = PlayOrPause(i);
        started |= change > 0;
        paused |= change < 0;
    }
    LinkPlayOrPause(started, paused);
}

void TQUADV_MAIN::WindowsMediaPlayerClick(TWindowsMediaPlayer* Sender, short, short, int, int) {
    const int pane = Sender->GetTag();
    if (pane < 0 || pane >= 4)
        return;
    const int change = PlayOrPause(pane);
    LinkPlayOrPause(change > 0, change < 0);
}

void TQUADV_MAIN::B_StopClick(QObject*) {
    for (int i = 0; i < 4; ++i) {
        if (!FLoaded[i])
            continue;
        FPlayers[i]->Stop();
        FPlayers[i]->SetCurrentPosition(0.0);
    }
}

void TQUADV_MAIN::S_ExitClick(QObject*) {
    close();
}

void TQUADV_MAIN::WMEndSession() {
    // A modal dialog (About, a file dialog, a message) runs a loop of its own
    // inside one of this window's commands; it ends first, so that the
    // command returns into a window that still exists and then the program
    // can end.
    for (QWidget* widget : QApplication::topLevelWidgets())
        if (widget != this && widget->isModal() && widget->isVisible())
            widget->close();
    close();
}

// ---- Popup, help texts, About

void TQUADV_MAIN::B_OptionClick(QObject*) {
    // Measured from the outer frame and the button's place in the panel, as
    // the window was designed; the title and menu bars are not measured.
    const QPoint at(pos().x() + B_Option->x(), pos().y() + B_Option->y() + B_Option->height() + 35);
    PM_Option->popup(at);
}

void TQUADV_MAIN::S_ReadmeClick(QObject*) {
    const auto file = PlayerDataFile(FExecutable, u"README.TXT", false);
    TShell::Current().Execute(this, QStringLiteral("open"), QString::fromStdU16String(file.u16string()));
}

void TQUADV_MAIN::S_HistoryClick(QObject*) {
    const auto file = PlayerDataFile(FExecutable, u"HISTORY.TXT", false);
    TShell::Current().Execute(this, QStringLiteral("open"), QString::fromStdU16String(file.u16string()));
}

void TQUADV_MAIN::S_AboutClick(QObject*) {
    ShowAboutDialog(this);
}

// ---- Volume, balance, speed, mute

void TQUADV_MAIN::SC_VolumeChange(QObject*) {
    const int position = SC_Volume->value();
    for (TWindowsMediaPlayer* pane : FPlayers)
        pane->SetVolume(position);
    L_Volume->SetCaption(QStringLiteral("Vol(%1%)").arg(position));
}

void TQUADV_MAIN::SC_BalanceChange(QObject*) {
    const int position = SC_Balance->value();
    for (TWindowsMediaPlayer* pane : FPlayers)
        pane->SetBalance(position);
    if (position == 0)
        L_Balance->SetCaption(QStringLiteral("Bal(Center)"));
    else if (position < 0)
        L_Balance->SetCaption(QStringLiteral("Bal(L%1%)").arg(-position));
    else
        L_Balance->SetCaption(QStringLiteral("Bal(R%1%)").arg(position));
}

void TQUADV_MAIN::SC_RateChange(QObject*) {
    const int position = SC_Rate->value();
    for (TWindowsMediaPlayer* pane : FPlayers)
        pane->SetRate(position / 10.0);
    L_Rate->SetCaption(QStringLiteral("Spd(%1%)").arg(position * 10));
}

void TQUADV_MAIN::L_VolumeDblClick(QObject*) {
    SC_Volume->setValue(kVolumeStart);
}
void TQUADV_MAIN::L_BalanceDblClick(QObject*) {
    SC_Balance->setValue(kBalanceStart);
}
void TQUADV_MAIN::L_RateDblClick(QObject*) {
    SC_Rate->setValue(kRateStart);
}

void TQUADV_MAIN::B_MuteClick(QObject* Sender) {
    const int pane = TagOf(Sender);
    if (pane < 0 || pane > 3)
        return;
    TWindowsMediaPlayer* player = FPlayers[pane];
    player->SetMute(!player->GetMute());
}

void TQUADV_MAIN::S_MuteClick(QObject* Sender) {
    B_MuteClick(Sender);
}

void TQUADV_MAIN::B_MuteResetClick(QObject*) {
    for (TWindowsMediaPlayer* pane : FPlayers)
        pane->SetMute(false);
}

// ---- Frame steps and snapshots

void TQUADV_MAIN::StepAll(bool Forward) {
    // Linked panes that play are paused on one frame first, so that they
    // step from one frame to the next one together.
    if (PM_Link->isChecked()) {
        bool paused = false;
        for (int i = 0; i < 4; ++i)
            if (FLoaded[i] && FPlayers[i]->GetPlayState() == wmppsPlaying) {
                FPlayers[i]->Pause();
                paused = true;
            }
        LinkPlayOrPause(false, paused);
    }
    for (int i = 0; i < 4; ++i) {
        if (!FLoaded[i])
            continue;
        if (Forward)
            FPlayers[i]->FrameStep();
        else
            FPlayers[i]->FrameBackStep();
    }
}

void TQUADV_MAIN::S_FrameStepClick(QObject*) {
    StepAll(true);
}

void TQUADV_MAIN::S_FrameBackStepClick(QObject*) {
    StepAll(false);
}

QString TQUADV_MAIN::SnapshotFolder() const {
    // The user's folder settings (user-dirs.dirs), else ~/Pictures.
    const QString pictures = QStandardPaths::writableLocation(QStandardPaths::PicturesLocation);
    const QString folder = QDir(pictures).filePath(QStringLiteral("Quadrelle"));
    if (!QDir().mkpath(folder))
        throw EQuadvError(folder.toStdString() + ": the folder for snapshots cannot be created");
    return folder;
}

void TQUADV_MAIN::S_SnapshotClick(QObject*) {
    QString folder;
    for (int i = 0; i < 4; ++i) {
        if (!FLoaded[i])
            continue;
        if (folder.isEmpty())
            folder = SnapshotFolder();
        // One pane's file failing costs that pane alone.
        try {
            TWindowsMediaPlayer* pane = FPlayers[i];
            const QString file =
                ReserveSnapshotFile(folder, FileNamePart(pane->GetURL()), i, pane->GetCurrentPosition());
            pane->SaveSnapshot(file, [file](const QString& Error) {
                if (Error.isEmpty())
                    return;
                QFile::remove(file);
                ShowErrorDisplay(EQuadvError(file.toStdString() + ": the snapshot could not be saved (" +
                                             Error.toStdString() + ")"));
            });
        } catch (const EQuadvError& Error) {
            ShowErrorDisplay(Error);
        }
    }
}

// ---- Link and AutoRepeat

void TQUADV_MAIN::PM_LinkClick(QObject*) {
    PM_Link->setChecked(!PM_Link->isChecked());
    FInStep->SetLinked(PM_Link->isChecked());
}

void TQUADV_MAIN::PM_AutoRepeatClick(QObject*) {
    // The mark is read before it changes: switching on writes the repeat count.
    const int count = PM_AutoRepeat->isChecked() ? 1 : kAutoRepeatCount;
    for (TWindowsMediaPlayer* pane : FPlayers)
        pane->SetPlayCount(count);
    PM_AutoRepeat->setChecked(!PM_AutoRepeat->isChecked());
}

void TQUADV_MAIN::ConnectPositionChange(int Pane) {
    using THandler = void (TQUADV_MAIN::*)(TWindowsMediaPlayer*, double, double);
    static constexpr THandler kHandlers[4] = {
        &TQUADV_MAIN::WindowsMediaPlayer1PositionChange, &TQUADV_MAIN::WindowsMediaPlayer2PositionChange,
        &TQUADV_MAIN::WindowsMediaPlayer3PositionChange, &TQUADV_MAIN::WindowsMediaPlayer4PositionChange};
    const THandler handler = kHandlers[Pane];
    FPlayers[Pane]->SetOnPositionChange(
        [this, handler](TWindowsMediaPlayer* Sender, double oldPosition, double newPosition) {
            RunCommand([&] { (this->*handler)(Sender, oldPosition, newPosition); });
        });
}

void TQUADV_MAIN::LinkedSeek(int Pane, double newPosition) {
    if (!PM_Link->isChecked())
        return;
    // The sought pane leads from now on, and the panes it brought to its
    // frame are kept there.
    FInStep->SetSought(Pane);
    FInStep->Arm();
    // The moved panes raise their own position change inside the write; with
    // their handlers cleared that cannot start a second wave of linking.
    for (int i = 0; i < 4; ++i)
        if (i != Pane)
            FPlayers[i]->SetOnPositionChange(nullptr);
    auto reconnect = [&] {
        for (int i = 0; i < 4; ++i)
            if (i != Pane)
                ConnectPositionChange(i);
    };
    try {
        for (int i = 0; i < 4; ++i)
            if (i != Pane)
                FPlayers[i]->SetCurrentPosition(newPosition);
    } catch (...) {
        reconnect();
        throw;
    }
    reconnect();
}

void TQUADV_MAIN::WindowsMediaPlayer1PositionChange(TWindowsMediaPlayer*, double, double newPosition) {
    LinkedSeek(0, newPosition);
}
void TQUADV_MAIN::WindowsMediaPlayer2PositionChange(TWindowsMediaPlayer*, double, double newPosition) {
    LinkedSeek(1, newPosition);
}
void TQUADV_MAIN::WindowsMediaPlayer3PositionChange(TWindowsMediaPlayer*, double, double newPosition) {
    LinkedSeek(2, newPosition);
}
void TQUADV_MAIN::WindowsMediaPlayer4PositionChange(TWindowsMediaPlayer*, double, double newPosition) {
    LinkedSeek(3, newPosition);
}

// ---- Settings, presets, layout

QString TQUADV_MAIN::GetLogonUserName() {
    if (const std::optional<std::u16string> name = FQueryUserName())
        return QString::fromStdU16String(*name);
    ShowCriticalMessage(this, QStringLiteral("ユーザー名の取得"),
                        QStringLiteral("ログオンユーザー名の取得に失敗しました\nデフォルト値を使用します"));
    return QString();
}

std::filesystem::path TQUADV_MAIN::SettingsFile(bool ForWriting) const {
    const std::filesystem::path name = SettingsFileName(FExecutable, U16(FUserSuffix)).filename();
    return PlayerDataFile(FExecutable, name, ForWriting);
}

void TQUADV_MAIN::FormShow() {
    LoadSettings();
}

void TQUADV_MAIN::FormClose() {
    // A closing window takes no more files from a second start.
    FHandOver->Close();
    SaveSettings();
}

void TQUADV_MAIN::LoadSettings() {
    int32_t left = 100;
    int32_t top = 100;
    bool autoRepeat = false;
    bool link = false;
    std::u16string dir;
    try {
        const TIniStore store(SettingsFile(false));
        left = store.ReadInteger(u"Main", u"X", 100);
        top = store.ReadInteger(u"Main", u"Y", 100);
        autoRepeat = store.ReadBool(u"Main", u"AutoRepeat", false);
        link = store.ReadBool(u"Main", u"Link", false);
        dir = store.ReadString(u"Main", u"Dir", u"");
    } catch (const EQuadvError&) {
        // A file that exists but cannot be read counts as no file: the
        // window starts from the defaults rather than half set up.
    }
    // The stored corner is the frame's, wherever the window manager draws it.
    FSnapper->PlaceFrame(QPoint(left, top));
    PM_AutoRepeat->setChecked(!autoRepeat);
    PM_Link->setChecked(link);
    FInStep->SetLinked(link);
    OpenDialog->SetInitialDir(QString::fromStdU16String(dir));
    LoadMovieSizes();
    PM_AutoRepeatClick(nullptr);
    // Served before the lock exists, so that a second start that finds the
    // lock also finds the socket (or retries until it is there).
    FHandOver->Listen(QString::fromStdU16String(NamedMutexSocketName(FMutexName)));
    FMutex = CreateNamedMutex(FMutexName);
}

void TQUADV_MAIN::SaveSettings() {
    for (TWindowsMediaPlayer* pane : FPlayers) {
        // A pane that cannot tell its file must not cost the user the settings.
        try {
            if (!pane->GetURL().isEmpty())
                pane->Stop();
        } catch (const EQuadvError&) {
        }
    }
    try {
        const std::filesystem::path file = SettingsFile(true);
        std::optional<TIniStore> store;
        try {
            store.emplace(file);
        } catch (const EQuadvError&) {
            // An old file that cannot be read would otherwise keep every
            // later save from being written: it gives way to a fresh one.
            store.emplace(TIniStore::Empty(file));
        }
        const QPoint frame = FSnapper->FramePosition();
        store->WriteInteger(u"Main", u"X", frame.x());
        store->WriteInteger(u"Main", u"Y", frame.y());
        try {
            store->WriteString(u"Main", u"Dir", U16(OpenDialog->GetInitialDir()));
        } catch (const EQuadvError&) {
            // A folder whose name holds a line break cannot be stored; "Dir"
            // keeps its old value and the other settings are still saved.
        }
        store->WriteBool(u"Main", u"AutoRepeat", PM_AutoRepeat->isChecked());
        store->WriteBool(u"Main", u"Link", PM_Link->isChecked());
        store->UpdateFile();
    } catch (...) {
        // Saving is silent: a folder that cannot be written keeps nothing.
    }
    ReleaseNamedMutex(FMutex);
}

void TQUADV_MAIN::LoadMovieSizes() {
    std::unique_ptr<TIniStore> store;
    try {
        store = std::make_unique<TIniStore>(PlayerDataFile(FExecutable, u"MovieSize.ini", false));
    } catch (const EQuadvError&) {
        // Unreadable presets: the built-in ones, so the list is never empty.
    }
    const TMovieSizes sizes = ReadMovieSizes(store.get());
    FSizeCount = sizes.Count;
    for (int i = 0; i < FSizeCount; ++i) {
        FSizeX[i] = sizes.SizeX[i];
        FSizeY[i] = sizes.SizeY[i];
        FSizeText[i] = QString::fromStdU16String(sizes.Text[i]);
        CB_MovieSize->addItem(FSizeText[i]);
    }
    const QSignalBlocker blocker(CB_MovieSize);
    CB_MovieSize->setCurrentIndex(0);
}

void TQUADV_MAIN::CB_MovieSizeChange(QObject*) {
    ApplyMovieSize();
}

void TQUADV_MAIN::ApplyMovieSize() {
    const int i = CB_MovieSize->currentIndex();
    if (i < 0 || i >= FSizeCount)
        return;
    const TWindowSnapper::TProgramMove guard(*FSnapper);
    const int w = FSizeX[i] + 8;
    const int h = FSizeY[i] + 64;
    WindowsMediaPlayer1->resize(w, h);
    WindowsMediaPlayer2->setGeometry(WindowsMediaPlayer1->width(), WindowsMediaPlayer2->y(), w, h);
    WindowsMediaPlayer3->setGeometry(WindowsMediaPlayer3->x(),
                                     WindowsMediaPlayer1->y() + WindowsMediaPlayer1->height(), w, h);
    WindowsMediaPlayer4->setGeometry(WindowsMediaPlayer3->width(), WindowsMediaPlayer3->y(), w, h);
    FClient->setFixedSize(WindowsMediaPlayer4->x() + w, WindowsMediaPlayer4->y() + h);
    // The frame follows at once, so the window has its new size before a
    // file dialog opens; a top-level resize keeps its top-left corner.
    layout()->activate();
}

// ---- Window events

void TQUADV_MAIN::showEvent(QShowEvent* Event) {
    QMainWindow::showEvent(Event);
    if (!FShown) {
        FShown = true;
        RunCommand([this] { FormShow(); });
    }
}

void TQUADV_MAIN::closeEvent(QCloseEvent* Event) {
    if (!FClosed) {
        FClosed = true;
        RunCommand([this] { FormClose(); });
    }
    Event->accept();
}

bool TQUADV_MAIN::eventFilter(QObject* Watched, QEvent* Event) {
    if (Watched == CB_MovieSize && Event->type() == QEvent::ToolTip)
        return true;
    if (Watched == FClient && Event->type() == QEvent::Resize)
        Panel->resize(FClient->width(), kPanelHeight);
    for (int i = 0; i < 4; ++i)
        if (Watched == FPlayers[i] && PaneDragEvent(i, Event))
            return true;
    return QMainWindow::eventFilter(Watched, Event);
}
