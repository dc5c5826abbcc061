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
#include <QProgressDialog>
#include <QPushButton>
#include <QScreen>
#include <QScrollBar>
#include <QSessionManager>
#include <QShortcut>
#include <QStandardPaths>
#include <QTimer>
#include <QUrl>
#include <QWindow>

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
      FInStepClock(std::move(Environment.InStepClock)), FQueryUserName(std::move(Environment.QueryUserName)),
      FExecutable(std::move(Environment.Executable)), FMutexName(std::move(Environment.MutexName)),
      FSoundAligner(std::move(Environment.SoundAligner)) {
    QUADV_MAIN = this;
    if (!OpenDialog)
        OpenDialog = std::make_unique<TQtOpenDialog>();
    if (!FQueryUserName)
        FQueryUserName = [] { return QueryLogonUserName(); };
    if (FExecutable.empty())
        FExecutable = ExecutablePath();
    if (!FSoundAligner)
        FSoundAligner = DefaultSoundAligner();

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
    FSoundAlignTimer = new QTimer(this);
    FSoundAlignTimer->setInterval(50);
    connect(FSoundAlignTimer, &QTimer::timeout, this, Guarded([this] { PollSoundAlign(); }));
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

    S_N04 = S_Control->addSeparator();
    S_AlignHere = item(S_Control, QStringLiteral("ここで揃える(&H)"),
                       QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_H), &TQUADV_MAIN::S_AlignHereClick);
    S_AlignSound = item(S_Control, QStringLiteral("音で揃える(&A)"),
                        QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_A), &TQUADV_MAIN::S_AlignSoundClick);
    S_AlignReset = item(S_Control, QStringLiteral("揃えを解除(&R)"), {}, &TQUADV_MAIN::S_AlignResetClick);
    S_FullScreen = item(S_Control, QStringLiteral("全画面(&U)"), QKeySequence(Qt::Key_F11),
                        &TQUADV_MAIN::S_FullScreenClick);
    FLeaveFullScreen = new QShortcut(QKeySequence(Qt::Key_Escape), this);
    FLeaveFullScreen->setEnabled(false);
    connect(FLeaveFullScreen, &QShortcut::activated, this, Guarded([this] { SetFullScreen(false); }));

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
    CancelSoundAlign();
    for (int i = 0; i < 4; ++i) {
        FPlayers[i]->Stop();
        FPlayers[i]->SetURL(QString());
        FLoaded[i] = false;
        SetPaneMap(i, {});
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
    // A new file begins where the others do; an alignment of the old one is void.
    SetPaneMap(Pane, {});
    CancelSoundAlign();
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
    // Each pane goes to the same moment of its own file, as far as the file reaches.
    const double moment = FInStep->Map(Pane).MomentAt(newPosition);
    try {
        for (int i = 0; i < 4; ++i) {
            if (i == Pane)
                continue;
            double position = std::max(0.0, FInStep->Map(i).PositionAt(moment));
            if (const double duration = FPlayers[i]->GetDuration(); duration > 0.0)
                position = std::min(position, duration);
            FPlayers[i]->SetCurrentPosition(position);
        }
    } catch (...) {
        reconnect();
        throw;
    }
    reconnect();
}

// ---- Offsets

namespace {

const QString kPaneNames[4] = {QStringLiteral("左上"), QStringLiteral("右上"), QStringLiteral("左下"),
                               QStringLiteral("右下")};

std::filesystem::path LocalPath(const QString& File) {
    const QByteArray local = QFile::encodeName(File);
    return std::filesystem::path(std::string(local.constData(), static_cast<size_t>(local.size())));
}

} // namespace

void TQUADV_MAIN::SetPaneMap(int Pane, const TInStepMap& Map) {
    FInStep->SetMap(Pane, Map);
    const bool shown = Map.Offset != 0.0 || Map.Drift != 0.0;
    FPlayers[Pane]->SetShownOffset(shown ? std::optional<double>(Map.Offset) : std::nullopt);
}

int TQUADV_MAIN::AlignReference() const {
    for (int i = 0; i < 4; ++i)
        if (FLoaded[i])
            return i;
    return -1;
}

void TQUADV_MAIN::LinkAligned(int Reference) {
    if (!PM_Link->isChecked()) {
        PM_Link->setChecked(true);
        FInStep->SetLinked(true);
    }
    FInStep->SetSought(Reference);
    FInStep->Arm();
}

void TQUADV_MAIN::S_AlignHereClick(QObject*) {
    const int reference = AlignReference();
    if (reference < 0)
        return;
    // The reference becomes the measure of the others; their drifts are kept,
    // counted against it from now on.
    const TInStepMap old = FInStep->Map(reference);
    const double at = FPlayers[reference]->GetCurrentPosition();
    for (int i = 0; i < 4; ++i) {
        if (!FLoaded[i] || i == reference)
            continue;
        const double drift = (1.0 + FInStep->Map(i).Drift) / (1.0 + old.Drift) - 1.0;
        SetPaneMap(i, {FPlayers[i]->GetCurrentPosition() - (1.0 + drift) * at, drift});
    }
    SetPaneMap(reference, {});
    LinkAligned(reference);
}

void TQUADV_MAIN::S_AlignResetClick(QObject*) {
    for (int i = 0; i < 4; ++i)
        SetPaneMap(i, {});
}

void TQUADV_MAIN::S_AlignSoundClick(QObject*) {
    CancelSoundAlign();
    const int reference = AlignReference();
    if (reference < 0)
        return;
    TSoundAlignRun run;
    run.Reference = reference;
    std::vector<std::filesystem::path> files;
    for (int i = 0; i < 4; ++i) {
        if (!FLoaded[i])
            continue;
        run.Files[i] = FPlayers[i]->GetURL();
        if (i != reference) {
            run.Panes.push_back(i);
            files.push_back(LocalPath(run.Files[i]));
        }
    }
    if (run.Panes.empty())
        return;
    run.Job =
        std::make_unique<TSoundAlignJob>(FSoundAligner, LocalPath(run.Files[reference]), std::move(files));
    FSoundAlign = std::move(run);
    // Shown only when the work takes longer than half a second; window-modal,
    // so that the panes go on playing while it is up.
    FAlignProgress = new QProgressDialog(QStringLiteral("音で揃えています..."), QStringLiteral("キャンセル"),
                                         0, 1000, this);
    FAlignProgress->setWindowTitle(QStringLiteral("音で揃える"));
    FAlignProgress->setWindowModality(Qt::WindowModal);
    FAlignProgress->setAutoClose(false);
    FAlignProgress->setAutoReset(false);
    FAlignProgress->setMinimumDuration(500);
    FAlignProgress->setValue(0);
    connect(FAlignProgress, &QProgressDialog::canceled, this, Guarded([this] { CancelSoundAlign(); }));
    FSoundAlignTimer->start();
}

void TQUADV_MAIN::PollSoundAlign() {
    if (!FSoundAlign)
        return;
    if (FSoundAlign->Job->Done()) {
        FinishSoundAlign();
        return;
    }
    if (FAlignProgress)
        FAlignProgress->setValue(static_cast<int>(std::lround(FSoundAlign->Job->Progress() * 999.0)));
}

void TQUADV_MAIN::CancelSoundAlign() {
    FSoundAlignTimer->stop();
    if (FAlignProgress) {
        // Deleted later: this may run inside the dialog's own signal.
        FAlignProgress->disconnect(this);
        FAlignProgress->hide();
        FAlignProgress->deleteLater();
        FAlignProgress = nullptr;
    }
    FSoundAlign.reset(); // stops the job and waits for it
}

void TQUADV_MAIN::FinishSoundAlign() {
    const TSoundAlignRun run = std::move(*FSoundAlign);
    FSoundAlign.reset();
    CancelSoundAlign();
    // Nothing was loaded since it started, or it would have been cancelled;
    // the files are compared all the same.
    for (int i = 0; i < 4; ++i)
        if (run.Files[i] != (FLoaded[i] ? FPlayers[i]->GetURL() : QString()))
            return;
    QStringList problems;
    bool matched = false;
    if (!run.Job->Error().empty())
        problems << kPaneNames[run.Reference] + QStringLiteral(": ") +
                        QString::fromStdString(run.Job->Error());
    const std::vector<TSoundMatch>& results = run.Job->Results();
    for (size_t k = 0; k < results.size() && k < run.Panes.size(); ++k) {
        const int pane = run.Panes[k];
        const TSoundMatch& result = results[k];
        switch (result.Kind) {
        case TSoundMatch::TKind::Matched:
            SetPaneMap(pane, {result.Offset, result.Drift});
            matched = true;
            break;
        case TSoundMatch::TKind::NoMatch:
            problems << kPaneNames[pane] + QStringLiteral(": 音が合いませんでした");
            break;
        case TSoundMatch::TKind::NoSound:
            problems << kPaneNames[pane] + QStringLiteral(": 音がありません");
            break;
        case TSoundMatch::TKind::Failed:
            problems << kPaneNames[pane] + QStringLiteral(": ") + QString::fromStdString(result.Error);
            break;
        }
    }
    if (matched) {
        SetPaneMap(run.Reference, {});
        LinkAligned(run.Reference);
        // The others go to the reference's moment, each keeping its state.
        LinkedSeek(run.Reference, FPlayers[run.Reference]->GetCurrentPosition());
    }
    if (!problems.isEmpty())
        ShowWarningMessage(this, QStringLiteral("音で揃える"), problems.join(u'\n'));
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

// ---- Full screen

void TQUADV_MAIN::S_FullScreenClick(QObject*) {
    SetFullScreen(!FFullScreen);
}

void TQUADV_MAIN::SetFullScreen(bool FullScreen) {
    if (FullScreen == FFullScreen.has_value())
        return;
    const TWindowSnapper::TProgramMove guard(*FSnapper);
    if (FullScreen) {
        TWindowedPlace place{FSnapper->FramePosition(), FClient->size(), {}};
        for (int i = 0; i < 4; ++i)
            place.Panes[i] = FPlayers[i]->geometry();
        FFullScreen = place;
        MainMenu->hide();
        Panel->hide();
        layout()->setSizeConstraint(QLayout::SetDefaultConstraint);
        FClient->setMinimumSize(0, 0);
        FClient->setMaximumSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX);
        // The panes draw a smaller picture as large as their quarter allows.
        for (TWindowsMediaPlayer* pane : FPlayers)
            pane->SetStretchToFit(true);
        FLeaveFullScreen->setEnabled(true);
        showFullScreen();
        LayoutFullScreen();
        return;
    }
    const TWindowedPlace place = *FFullScreen;
    FFullScreen.reset();
    FLeaveFullScreen->setEnabled(false);
    for (TWindowsMediaPlayer* pane : FPlayers)
        pane->SetStretchToFit(false);
    MainMenu->show();
    Panel->show();
    for (int i = 0; i < 4; ++i)
        FPlayers[i]->setGeometry(place.Panes[i]);
    FClient->setFixedSize(place.Client);
    layout()->setSizeConstraint(QLayout::SetFixedSize);
    showNormal();
    layout()->activate();
    // The window system puts the window back where it was; where it does not
    // within a moment, the program does.
    QTimer::singleShot(300, this, [this, frame = place.Frame] {
        if (!FFullScreen && isVisible() && !isMinimized() && FSnapper->FramePosition() != frame)
            FSnapper->PlaceFrame(frame);
    });
}

void TQUADV_MAIN::LayoutFullScreen() {
    // Four quarters of the screen; the odd pixel goes to the right and the bottom.
    const int w = FClient->width() / 2;
    const int h = FClient->height() / 2;
    FPlayers[0]->setGeometry(0, 0, w, h);
    FPlayers[1]->setGeometry(w, 0, FClient->width() - w, h);
    FPlayers[2]->setGeometry(0, h, w, FClient->height() - h);
    FPlayers[3]->setGeometry(w, h, FClient->width() - w, FClient->height() - h);
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
    CancelSoundAlign();
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
        // Full screen is not a place: the window's own place is kept.
        const QPoint frame = FFullScreen ? FFullScreen->Frame : FSnapper->FramePosition();
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
    if (i < 0 || i >= FSizeCount || FFullScreen)
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
    if (Watched == FClient && Event->type() == QEvent::Resize) {
        Panel->resize(FClient->width(), kPanelHeight);
        if (FFullScreen)
            LayoutFullScreen();
    }
    for (int i = 0; i < 4; ++i)
        if (Watched == FPlayers[i] && PaneDragEvent(i, Event))
            return true;
    return QMainWindow::eventFilter(Watched, Event);
}
