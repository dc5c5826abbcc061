// SPDX-FileCopyrightText: 2026 Quadrelle Project
// SPDX-License-Identifier: GPL-3.0-or-later

#include "WindowsMediaPlayer.h"

#include "MediaEngine.h"
#include "MpvEngine.h"

#include <QApplication>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QSignalBlocker>
#include <QSlider>
#include <QStyle>
#include <QStyleOptionSlider>
#include <QToolButton>

#include <algorithm>
#include <cmath>

namespace {

constexpr int kSeekBarHeight = 20;
constexpr int kButtonSize = 26;
constexpr int kBarGap = 4;
// The seek bar counts in milliseconds.
constexpr double kSeekScale = 1000.0;

QString FormatTime(double Seconds) {
    const long long Total = Seconds > 0 ? static_cast<long long>(Seconds) : 0;
    const long long Hours = Total / 3600;
    const long long Minutes = Total / 60 % 60;
    const long long Secs = Total % 60;
    if (Hours > 0)
        return QStringLiteral("%1:%2:%3")
            .arg(Hours)
            .arg(Minutes, 2, 10, QLatin1Char('0'))
            .arg(Secs, 2, 10, QLatin1Char('0'));
    return QStringLiteral("%1:%2").arg(Minutes).arg(Secs, 2, 10, QLatin1Char('0'));
}

short ButtonCode(Qt::MouseButton Button) {
    switch (Button) {
    case Qt::LeftButton:
        return 1;
    case Qt::RightButton:
        return 2;
    case Qt::MiddleButton:
        return 4;
    default:
        return 0;
    }
}

short ShiftCode(Qt::KeyboardModifiers Modifiers) {
    short Code = 0;
    if (Modifiers & Qt::ShiftModifier)
        Code |= 1;
    if (Modifiers & Qt::ControlModifier)
        Code |= 2;
    if (Modifiers & Qt::AltModifier)
        Code |= 4;
    return Code;
}

} // namespace

// The picture, or the reason there is none.
class TMediaVideoArea : public QWidget {
public:
    explicit TMediaVideoArea(TWindowsMediaPlayer* Pane) : QWidget(Pane), FPane(Pane) {
        setObjectName(QStringLiteral("VideoArea"));
        setAttribute(Qt::WA_OpaquePaintEvent);
    }

    bool FFailed = false; // shows the failure text instead of a picture

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter Painter(this);
        Painter.fillRect(rect(), Qt::black);
        if (FFailed) {
            Painter.setPen(Qt::white);
            Painter.drawText(rect(), Qt::AlignCenter | Qt::TextWordWrap, QStringLiteral("再生できません"));
            return;
        }
        const QImage& Frame = FPane->FEngine->Frame();
        if (Frame.isNull())
            return;
        const QRect Picture = FPane->PictureRect();
        if (Frame.size() == Picture.size()) {
            Painter.drawImage(Picture.topLeft(), Frame);
            return;
        }
        // Between a change of size and the next rendered frame: scale what there is.
        const QSize Fit = Frame.size().scaled(Picture.size(), Qt::KeepAspectRatio);
        Painter.drawImage(QRect(Picture.center() - QPoint(Fit.width() / 2, Fit.height() / 2), Fit), Frame);
    }

    void mousePressEvent(QMouseEvent* Event) override { FPressed = Event->button(); }

    void mouseReleaseEvent(QMouseEvent* Event) override {
        const bool Clicked = Event->button() == FPressed && rect().contains(Event->position().toPoint());
        FPressed = Qt::NoButton;
        if (Clicked)
            FPane->VideoClicked(ButtonCode(Event->button()), ShiftCode(Event->modifiers()),
                                Event->position().toPoint().x(), Event->position().toPoint().y());
    }

private:
    TWindowsMediaPlayer* FPane;
    Qt::MouseButton FPressed = Qt::NoButton; // a click is a press and release of one button inside
};

// A seek bar that jumps to the clicked point instead of stepping by pages.
class TMediaSeekBar : public QSlider {
public:
    explicit TMediaSeekBar(QWidget* Parent) : QSlider(Qt::Horizontal, Parent) {
        setObjectName(QStringLiteral("SeekBar"));
        setFocusPolicy(Qt::NoFocus);
    }

protected:
    void mousePressEvent(QMouseEvent* Event) override {
        if (Event->button() == Qt::LeftButton && maximum() > minimum()) {
            QStyleOptionSlider Option;
            initStyleOption(&Option);
            const QRect Handle =
                style()->subControlRect(QStyle::CC_Slider, &Option, QStyle::SC_SliderHandle, this);
            if (!Handle.contains(Event->position().toPoint())) {
                const QRect Groove =
                    style()->subControlRect(QStyle::CC_Slider, &Option, QStyle::SC_SliderGroove, this);
                const int Span = std::max(1, Groove.width() - Handle.width());
                const int Offset = Event->position().toPoint().x() - Groove.x() - Handle.width() / 2;
                // Moves the handle under the pointer (a user action), so the press below starts a drag.
                setSliderPosition(QStyle::sliderValueFromPosition(minimum(), maximum(), Offset, Span));
            }
        }
        QSlider::mousePressEvent(Event);
    }
};

class TWindowsMediaPlayer::TObserver : public TMediaEngineObserver {
public:
    explicit TObserver(TWindowsMediaPlayer* Pane) : FPane(Pane) {}

    void EngineStatusChanged() override {
        FPane->UpdateControls();
        Report(FPane->FEngine->Position(), false);
    }

    void EnginePositionChanged(double OldPosition, double NewPosition, TPositionCause Cause) override {
        FPane->UpdateTime();
        Report(NewPosition, Cause == TPositionCause::Playback);
        if (Cause != TPositionCause::Seek || FPane->FAligning)
            return;
        // A copy, so that a handler may replace the pane's handler while it runs.
        TPositionChangeEvent Handler = FPane->FOnPositionChange;
        if (Handler)
            Handler(FPane, OldPosition, NewPosition);
    }

    void EngineDurationChanged(double Duration) override {
        FPane->FDuration = Duration;
        FPane->UpdateTime();
    }

    void EngineFrameReady() override { FPane->FVideo->update(); }

    void EngineVideoSizeChanged() override {
        FPane->FEngine->SetViewSize(FPane->PictureRect().size());
        FPane->FVideo->update();
    }

private:
    void Report(double Position, bool Playback) {
        TPositionReportEvent Handler = FPane->FOnPositionReport;
        if (Handler)
            Handler(FPane, Position, Playback);
    }

    TWindowsMediaPlayer* FPane;
};

TWindowsMediaPlayer::TWindowsMediaPlayer(QWidget* Parent)
    : TWindowsMediaPlayer(std::make_unique<TMpvEngine>(), Parent) {}

TWindowsMediaPlayer::TWindowsMediaPlayer(std::unique_ptr<TMediaEngine> Engine, QWidget* Parent)
    : QWidget(Parent), FEngine(std::move(Engine)), FObserver(std::make_unique<TObserver>(this)) {
    // The control's design size: a 312 x 176 video area.
    resize(320, 240);
    BuildControls();
    FEngine->SetObserver(FObserver.get());
    LayoutControls();
    UpdateControls();
}

TWindowsMediaPlayer::~TWindowsMediaPlayer() {
    // The engine goes first, while the widgets it may notify still exist.
    FEngine->SetObserver(nullptr);
    FEngine.reset();
}

void TWindowsMediaPlayer::BuildControls() {
    FVideo = new TMediaVideoArea(this);
    FPlayButton = new QToolButton(this);
    FPlayButton->setObjectName(QStringLiteral("PlayButton"));
    FPlayButton->setFocusPolicy(Qt::NoFocus);
    FPlayButton->setIcon(style()->standardIcon(QStyle::SP_MediaPlay));
    connect(FPlayButton, &QToolButton::clicked, this, [this] { PlayPauseClicked(); });
    FStopButton = new QToolButton(this);
    FStopButton->setObjectName(QStringLiteral("StopButton"));
    FStopButton->setFocusPolicy(Qt::NoFocus);
    FStopButton->setIcon(style()->standardIcon(QStyle::SP_MediaStop));
    connect(FStopButton, &QToolButton::clicked, this, [this] { Stop(); });
    FSeekBar = new TMediaSeekBar(this);
    FSeekBar->setRange(0, 0);
    connect(FSeekBar, &QSlider::actionTriggered, this, [this](int Action) {
        if (Action != QAbstractSlider::SliderNoAction)
            UserSeek(FSeekBar->sliderPosition() / kSeekScale);
    });
    FTime = new QLabel(this);
    FTime->setObjectName(QStringLiteral("TimeLabel"));
    FTime->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
}

QRect TWindowsMediaPlayer::VideoRect() const {
    return QRect(kFrameWidth, kFrameWidth, std::max(0, width() - 2 * kFrameWidth),
                 std::max(0, height() - 2 * kFrameWidth - kBarHeight));
}

QRect TWindowsMediaPlayer::PictureRect() const {
    const QSize Area = VideoRect().size();
    QSize Picture = FEngine->VideoSize();
    if (Picture.isEmpty())
        Picture = Area;
    else if (FStretchToFit || Picture.width() > Area.width() || Picture.height() > Area.height())
        Picture = Picture.scaled(Area, Qt::KeepAspectRatio);
    return QRect(QPoint((Area.width() - Picture.width()) / 2, (Area.height() - Picture.height()) / 2),
                 Picture);
}

void TWindowsMediaPlayer::SetStretchToFit(bool Stretch) {
    if (Stretch == FStretchToFit)
        return;
    FStretchToFit = Stretch;
    LayoutControls();
    FVideo->update();
}

void TWindowsMediaPlayer::LayoutControls() {
    const QRect Video = VideoRect();
    FVideo->setGeometry(Video);
    const int BarTop = Video.bottom() + 1;
    const int Left = kFrameWidth;
    const int Width = Video.width();
    FSeekBar->setGeometry(Left, BarTop + kBarGap, Width, kSeekBarHeight);
    const int ButtonTop = BarTop + kBarGap + kSeekBarHeight + kBarGap;
    FPlayButton->setGeometry(Left, ButtonTop, kButtonSize, kButtonSize - 4);
    FStopButton->setGeometry(Left + kButtonSize + kBarGap, ButtonTop, kButtonSize, kButtonSize - 4);
    const int TimeLeft = Left + 2 * (kButtonSize + kBarGap);
    FTime->setGeometry(TimeLeft, ButtonTop, std::max(0, Left + Width - TimeLeft), kButtonSize - 4);
    FEngine->SetViewSize(PictureRect().size());
}

void TWindowsMediaPlayer::resizeEvent(QResizeEvent*) {
    LayoutControls();
}

void TWindowsMediaPlayer::paintEvent(QPaintEvent*) {
    QPainter Painter(this);
    Painter.fillRect(rect(), palette().window());
    // The frame around the video area.
    Painter.setPen(palette().color(QPalette::Mid));
    Painter.drawRect(rect().adjusted(0, 0, -1, -1));
    Painter.drawRect(VideoRect().adjusted(-1, -1, 0, 0));
}

void TWindowsMediaPlayer::UpdateControls() {
    TEngineStatus Status = TEngineStatus::NoMedia;
    try {
        Status = FEngine->Status();
    } catch (...) {
        // The bar shows what it can; the error is for GetPlayState's callers.
    }
    const bool Playing = Status == TEngineStatus::Playing || Status == TEngineStatus::Buffering;
    FPlayButton->setIcon(style()->standardIcon(Playing ? QStyle::SP_MediaPause : QStyle::SP_MediaPlay));
    const bool Failed = Status == TEngineStatus::Failed;
    if (FVideo->FFailed != Failed) {
        FVideo->FFailed = Failed;
        FVideo->update();
    }
    FVideo->setToolTip(Failed ? FEngine->FailureReason() : QString());
    UpdateTime();
}

void TWindowsMediaPlayer::UpdateTime() {
    const double Position = FEngine->Position();
    const double Duration = std::max(0.0, FDuration);
    {
        const QSignalBlocker Blocker(FSeekBar);
        FSeekBar->setMaximum(static_cast<int>(std::lround(Duration * kSeekScale)));
        // The bar follows playback, but never against the user's drag.
        if (!FSeekBar->isSliderDown())
            FSeekBar->setValue(static_cast<int>(std::lround(Position * kSeekScale)));
    }
    QString Text = FormatTime(Position) + QStringLiteral(" / ") + FormatTime(Duration);
    if (FShownOffset)
        Text += QStringLiteral("  ") + (*FShownOffset < 0.0 ? u'-' : u'+') +
                QString::number(std::abs(*FShownOffset), 'f', 3);
    FTime->setText(Text);
}

void TWindowsMediaPlayer::SetShownOffset(std::optional<double> Seconds) {
    if (Seconds && !std::isfinite(*Seconds))
        Seconds.reset();
    FShownOffset = Seconds;
    UpdateTime();
}

void TWindowsMediaPlayer::UserSeek(double Seconds) {
    SetCurrentPosition(Seconds);
}

void TWindowsMediaPlayer::PlayPauseClicked() {
    TEngineStatus Status = TEngineStatus::NoMedia;
    try {
        Status = FEngine->Status();
    } catch (...) {
        return;
    }
    if (Status == TEngineStatus::Playing || Status == TEngineStatus::Buffering)
        Pause();
    else
        Play();
}

void TWindowsMediaPlayer::VideoClicked(short Button, short ShiftState, int X, int Y) {
    TMediaClickEvent Handler = FOnClick;
    if (Handler)
        Handler(this, Button, ShiftState, X, Y);
}

void TWindowsMediaPlayer::SetURL(const QString& Url) {
    FDuration = 0.0;
    // The engine has dropped the old file's picture, but nothing draws
    // until a new file gives one; an emptied pane would go on showing it.
    FVideo->update();
    if (Url.isEmpty())
        FEngine->Unload();
    else
        FEngine->Load(Url);
    UpdateControls();
}

QString TWindowsMediaPlayer::GetURL() const {
    return FEngine->Url();
}

int TWindowsMediaPlayer::GetPlayState() const {
    switch (FEngine->Status()) {
    case TEngineStatus::NoMedia:
        return wmppsUndefined;
    case TEngineStatus::Opening: // ready as far as the window knows, until the engine says otherwise
    case TEngineStatus::Ready:
        return wmppsReady;
    case TEngineStatus::Playing:
        return wmppsPlaying;
    case TEngineStatus::Paused:
        return wmppsPaused;
    case TEngineStatus::Stopped:
        return wmppsStopped;
    case TEngineStatus::Buffering:
        return wmppsBuffering;
    case TEngineStatus::Failed:
        return wmppsUndefined; // so that Play/Pause passes it by
    }
    return wmppsUndefined;
}

void TWindowsMediaPlayer::Play() {
    FEngine->Play();
}
void TWindowsMediaPlayer::Pause() {
    FEngine->Pause();
}
void TWindowsMediaPlayer::Stop() {
    FEngine->Stop();
}

void TWindowsMediaPlayer::FrameStep() {
    FEngine->StepFrame(TFrameStep::Forward);
}
void TWindowsMediaPlayer::FrameBackStep() {
    FEngine->StepFrame(TFrameStep::Back);
}

void TWindowsMediaPlayer::SaveSnapshot(const QString& File, std::function<void(const QString& Error)> Done) {
    FEngine->Snapshot(File, std::move(Done));
}

void TWindowsMediaPlayer::SetCurrentPosition(double Seconds) {
    if (!std::isfinite(Seconds))
        return;
    FEngine->Seek(std::max(0.0, Seconds));
}

double TWindowsMediaPlayer::GetPositionTime() const {
    return FEngine->PositionTime();
}

void TWindowsMediaPlayer::RefreshClock() {
    FEngine->RefreshClock();
}
double TWindowsMediaPlayer::GetClockTime() const {
    return FEngine->Clock().Time;
}
double TWindowsMediaPlayer::GetClockPosition() const {
    return FEngine->Clock().Position;
}

void TWindowsMediaPlayer::AlignPosition(double Seconds) {
    if (!std::isfinite(Seconds))
        return;
    FAligning = true;
    try {
        FEngine->Seek(std::max(0.0, Seconds));
    } catch (...) {
        FAligning = false;
        throw;
    }
    FAligning = false;
}

double TWindowsMediaPlayer::GetCurrentPosition() const {
    return FEngine->Position();
}

bool TWindowsMediaPlayer::GetMute() const {
    return FEngine->Mute();
}
void TWindowsMediaPlayer::SetMute(bool Muted) {
    FEngine->SetMute(Muted);
}

void TWindowsMediaPlayer::SetVolume(int Volume) {
    if (Volume < 0 || Volume > 100)
        return;
    FVolume = Volume;
    FEngine->SetVolume(Volume);
}

void TWindowsMediaPlayer::SetBalance(int Balance) {
    if (Balance < -100 || Balance > 100)
        return;
    FBalance = Balance;
    FEngine->SetBalance(Balance);
}

void TWindowsMediaPlayer::SetRate(double Rate) {
    if (!std::isfinite(Rate) || Rate < 0.0 || Rate > 100.0)
        return;
    FRate = Rate;
    FEngine->SetRate(Rate * FSpeedTrim);
}

void TWindowsMediaPlayer::SetLoopHold(bool Hold) {
    FEngine->SetLoopHold(Hold);
}

void TWindowsMediaPlayer::SetSpeedTrim(double Trim) {
    if (!std::isfinite(Trim) || Trim < 0.0 || Trim == FSpeedTrim)
        return;
    FSpeedTrim = Trim;
    FEngine->SetRate(FRate * FSpeedTrim);
}

void TWindowsMediaPlayer::SetPlayCount(int Count) {
    if (Count < 1)
        return;
    FPlayCount = Count;
    FEngine->SetPlayCount(Count);
}
