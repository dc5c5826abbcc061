// SPDX-FileCopyrightText: 2026 Quadrelle Project
// SPDX-License-Identifier: GPL-3.0-or-later

#include "WindowsMediaPlayer.h"
#include "FakeMediaEngine.h"
#include "QuadvError.h"

#include <QApplication>
#include <QLabel>
#include <QSlider>
#include <QTest>
#include <QToolButton>

#include <gtest/gtest.h>

#include <functional>
#include <utility>
#include <vector>

namespace {

class WindowsMediaPlayerTest : public ::testing::Test {
protected:
    WindowsMediaPlayerTest() {
        auto Engine = std::make_unique<TFakeMediaEngine>();
        FEngine = Engine.get();
        FPane = std::make_unique<TWindowsMediaPlayer>(std::move(Engine));
        FPane->SetOnPositionChange([this](TWindowsMediaPlayer* Sender, double Old, double New) {
            EXPECT_EQ(Sender, FPane.get());
            FChanges.emplace_back(Old, New);
        });
    }

    QSlider* SeekBar() const { return FPane->findChild<QSlider*>(QStringLiteral("SeekBar")); }
    QWidget* VideoArea() const { return FPane->findChild<QWidget*>(QStringLiteral("VideoArea")); }

    TFakeMediaEngine* FEngine = nullptr;
    std::unique_ptr<TWindowsMediaPlayer> FPane;
    std::vector<std::pair<double, double>> FChanges;
};

TEST_F(WindowsMediaPlayerTest, StartsInTheControlsInitialState) {
    EXPECT_EQ(FPane->GetURL(), QString());
    EXPECT_EQ(FPane->GetRate(), 1.0);
    EXPECT_EQ(FPane->GetBalance(), 0);
    EXPECT_EQ(FPane->GetVolume(), 100);
    EXPECT_EQ(FPane->GetPlayCount(), 1);
    EXPECT_FALSE(FPane->GetMute());
    EXPECT_EQ(FPane->GetCurrentPosition(), 0.0);
    EXPECT_EQ(FPane->size(), QSize(320, 240));
    // Nothing is started or written at creation beyond the view size.
    for (const std::string& Call : FEngine->Calls())
        EXPECT_EQ(Call.rfind("SetViewSize", 0), 0u) << Call;
}

TEST_F(WindowsMediaPlayerTest, MapsEngineStatusToPlayState) {
    const std::pair<TEngineStatus, int> Rows[] = {
        {TEngineStatus::NoMedia, wmppsUndefined},   {TEngineStatus::Opening, wmppsReady},
        {TEngineStatus::Ready, wmppsReady},         {TEngineStatus::Playing, wmppsPlaying},
        {TEngineStatus::Paused, wmppsPaused},       {TEngineStatus::Stopped, wmppsStopped},
        {TEngineStatus::Buffering, wmppsBuffering}, {TEngineStatus::Failed, wmppsUndefined},
    };
    for (const auto& [Status, Expected] : Rows) {
        FEngine->SetStatus(Status);
        EXPECT_EQ(FPane->GetPlayState(), Expected) << static_cast<int>(Status);
    }
}

TEST_F(WindowsMediaPlayerTest, CheckedOperationsRaiseThePlayersError) {
    FEngine->FFailUrlRead = "url read failed";
    EXPECT_THROW(FPane->GetURL(), EQuadvError);
    FEngine->FFailStatusRead = "state read failed";
    EXPECT_THROW(FPane->GetPlayState(), EQuadvError);
    FEngine->FFailMuteRead = "mute read failed";
    EXPECT_THROW(FPane->GetMute(), EQuadvError);
    FEngine->FFailLoad = "/m/a.mp4: no such file";
    try {
        FPane->SetURL(QStringLiteral("/m/a.mp4"));
        ADD_FAILURE() << "no error";
    } catch (const EQuadvError& Error) {
        EXPECT_STREQ(Error.what(), "/m/a.mp4: no such file");
    }
    // The bar survives a failing state read.
    FPane->update();
}

TEST_F(WindowsMediaPlayerTest, UrlWriteLoadsWithoutStartingAndEmptyUnloads) {
    FPane->SetURL(QStringLiteral("/m/a.mp4"));
    EXPECT_EQ(FPane->GetURL(), QStringLiteral("/m/a.mp4"));
    EXPECT_EQ(FPane->GetPlayState(), wmppsReady);
    FPane->SetURL(QString());
    EXPECT_EQ(FPane->GetURL(), QString());
    const std::vector<std::string> Expected = {"Load /m/a.mp4", "Unload"};
    std::vector<std::string> Transport;
    for (const std::string& Call : FEngine->Calls())
        if (Call.rfind("SetViewSize", 0) != 0)
            Transport.push_back(Call);
    EXPECT_EQ(Transport, Expected);
}

TEST_F(WindowsMediaPlayerTest, PositionWriteRaisesPositionChangeBeforeReturning) {
    FPane->SetURL(QStringLiteral("/m/a.mp4"));
    FEngine->SetDuration(200);
    FEngine->SetPlaybackPosition(12.5);
    FPane->SetCurrentPosition(83.5);
    ASSERT_EQ(FChanges.size(), 1u);
    EXPECT_EQ(FChanges[0], std::make_pair(12.5, 83.5));
    EXPECT_EQ(FPane->GetCurrentPosition(), 83.5);
    // Negative positions go to the start; non-numbers are ignored.
    FPane->SetCurrentPosition(-3);
    FPane->SetCurrentPosition(std::nan(""));
    ASSERT_EQ(FChanges.size(), 2u);
    EXPECT_EQ(FChanges[1].second, 0.0);
}

TEST_F(WindowsMediaPlayerTest, AlignedSeekRaisesNoPositionChangeAndTheTrimRidesOnTheRate) {
    FPane->SetURL(QStringLiteral("/m/a.mp4"));
    std::vector<std::pair<double, bool>> Reports;
    FPane->SetOnPositionReport([&](TWindowsMediaPlayer*, double Position, bool Playback) {
        Reports.emplace_back(Position, Playback);
    });
    FPane->AlignPosition(7.25);
    EXPECT_TRUE(FChanges.empty());
    EXPECT_EQ(FPane->GetCurrentPosition(), 7.25);
    FPane->SetCurrentPosition(8.0); // the user's seeks still raise it
    EXPECT_EQ(FChanges.size(), 1u);
    FEngine->SetPlaybackPosition(8.04);
    EXPECT_EQ(Reports, (std::vector<std::pair<double, bool>>{{7.25, false}, {8.0, false}, {8.04, true}}));

    FEngine->ClearCalls();
    FPane->SetSpeedTrim(1.004);
    FPane->SetRate(2.0);
    FPane->SetSpeedTrim(-1.0); // ignored
    FPane->SetSpeedTrim(0.0);  // holds the picture
    EXPECT_EQ(FEngine->Calls(), (std::vector<std::string>{"SetRate 1.004", "SetRate 2.008", "SetRate 0"}));
    EXPECT_EQ(FPane->GetRate(), 2.0);
}

// Counts the paints a widget gets.
class TPaintCounter : public QObject {
public:
    int FPaints = 0;
    bool eventFilter(QObject*, QEvent* Event) override {
        FPaints += Event->type() == QEvent::Paint ? 1 : 0;
        return false;
    }
};

TEST_F(WindowsMediaPlayerTest, AnEmptiedPaneIsRepaintedWithoutItsOldPicture) {
    FPane->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(FPane.get()));
    FPane->SetURL(QStringLiteral("/m/a.mp4"));
    QImage Red(312, 176, QImage::Format_RGB32);
    Red.fill(Qt::red);
    FEngine->SetFrame(Red);
    QCoreApplication::processEvents();
    TPaintCounter Counter;
    VideoArea()->installEventFilter(&Counter);
    // Emptied as Open and files from outside do: nothing draws a new frame,
    // so the pane must paint itself.
    FPane->SetURL(QString());
    QCoreApplication::processEvents();
    EXPECT_GE(Counter.FPaints, 1);
    const QImage Shot = VideoArea()->grab().toImage();
    EXPECT_EQ(QColor(Shot.pixel(Shot.width() / 2, Shot.height() / 2)), QColor(Qt::black));
}

TEST_F(WindowsMediaPlayerTest, EngineRestartsAndPlaybackRaiseNothing) {
    FPane->SetURL(QStringLiteral("/m/a.mp4"));
    FEngine->SetDuration(10);
    FPane->Play();
    FEngine->SetPlaybackPosition(4.0);
    FEngine->RaiseRestart(0.0); // a loop
    FEngine->SetPlaybackPosition(0.5);
    FPane->Stop();
    FPane->SetURL(QStringLiteral("/m/b.mp4"));
    EXPECT_TRUE(FChanges.empty());
    // The bar still follows.
    FEngine->SetDuration(10);
    FEngine->SetPlaybackPosition(3.0);
    EXPECT_EQ(SeekBar()->value(), 3000);
}

TEST_F(WindowsMediaPlayerTest, HandlerMayReplaceItselfWhileRunning) {
    int Calls = 0;
    FPane->SetOnPositionChange([&](TWindowsMediaPlayer* Sender, double, double) {
        ++Calls;
        Sender->SetOnPositionChange(nullptr);
        Sender->SetCurrentPosition(1.0); // finds no handler now
    });
    FPane->SetCurrentPosition(2.0);
    EXPECT_EQ(Calls, 1);
    EXPECT_FALSE(FPane->GetOnPositionChange());
}

TEST_F(WindowsMediaPlayerTest, SeekBarRaisesPositionChangeForUserSeeks) {
    FPane->show();
    FPane->SetURL(QStringLiteral("/m/a.mp4"));
    FEngine->SetDuration(10);
    QSlider* Bar = SeekBar();
    ASSERT_NE(Bar, nullptr);
    EXPECT_EQ(Bar->maximum(), 10000);

    Bar->triggerAction(QAbstractSlider::SliderPageStepAdd);
    ASSERT_EQ(FChanges.size(), 1u);
    EXPECT_EQ(FChanges[0].second, Bar->pageStep() / 1000.0);

    // A click on the groove jumps there.
    FChanges.clear();
    QTest::mouseClick(Bar, Qt::LeftButton, {}, QPoint(Bar->width() * 3 / 4, Bar->height() / 2));
    ASSERT_FALSE(FChanges.empty());
    EXPECT_NEAR(FChanges.back().second, 7.5, 1.0);
    EXPECT_NEAR(FPane->GetCurrentPosition(), 7.5, 1.0);

    // Every step of a drag seeks.
    FChanges.clear();
    Bar->setSliderDown(true);
    Bar->setSliderPosition(2000);
    Bar->setSliderPosition(3000);
    Bar->setSliderDown(false);
    ASSERT_EQ(FChanges.size(), 2u);
    EXPECT_EQ(FChanges[1].second, 3.0);
}

TEST_F(WindowsMediaPlayerTest, TimeShowsPositionAndDuration) {
    FPane->SetURL(QStringLiteral("/m/a.mp4"));
    FEngine->SetDuration(200);
    FEngine->SetPlaybackPosition(65.4);
    QLabel* Time = FPane->findChild<QLabel*>(QStringLiteral("TimeLabel"));
    ASSERT_NE(Time, nullptr);
    EXPECT_EQ(Time->text(), QStringLiteral("1:05 / 3:20"));
    FEngine->SetDuration(3725);
    EXPECT_EQ(Time->text(), QStringLiteral("1:05 / 1:02:05"));
}

TEST_F(WindowsMediaPlayerTest, ClickOnVideoRaisesClickWithButtonShiftAndPoint) {
    FPane->show();
    struct TClick {
        short Button, Shift;
        int X, Y;
    };
    std::vector<TClick> Clicks;
    FPane->SetOnClick([&](TWindowsMediaPlayer* Sender, short Button, short Shift, int X, int Y) {
        EXPECT_EQ(Sender, FPane.get());
        Clicks.push_back({Button, Shift, X, Y});
    });
    QTest::mouseClick(VideoArea(), Qt::LeftButton, {}, QPoint(10, 20));
    QTest::mouseClick(VideoArea(), Qt::RightButton, Qt::ShiftModifier | Qt::ControlModifier, QPoint(30, 40));
    ASSERT_EQ(Clicks.size(), 2u);
    EXPECT_EQ(Clicks[0].Button, 1);
    EXPECT_EQ(Clicks[0].Shift, 0);
    EXPECT_EQ(Clicks[0].X, 10);
    EXPECT_EQ(Clicks[0].Y, 20);
    EXPECT_EQ(Clicks[1].Button, 2);
    EXPECT_EQ(Clicks[1].Shift, 3);
    EXPECT_EQ(Clicks[1].X, 30);
}

TEST_F(WindowsMediaPlayerTest, FrameAndBarGeometryFollowTheSize) {
    FPane->show();
    const QSize Sizes[] = {{320, 240}, {648, 544}, {168, 184}, {1288, 784}};
    for (QSize Size : Sizes) {
        FPane->resize(Size);
        const QRect Video = VideoArea()->geometry();
        EXPECT_EQ(Video, QRect(4, 4, Size.width() - 8, Size.height() - 64)) << Size.width();
        EXPECT_EQ(FEngine->FViewSize, Video.size());
        const QRect Bar(4, Video.bottom() + 1, Size.width() - 8, 56);
        for (QWidget* Part :
             {static_cast<QWidget*>(SeekBar()),
              static_cast<QWidget*>(FPane->findChild<QToolButton*>(QStringLiteral("PlayButton"))),
              static_cast<QWidget*>(FPane->findChild<QToolButton*>(QStringLiteral("StopButton"))),
              static_cast<QWidget*>(FPane->findChild<QLabel*>(QStringLiteral("TimeLabel")))})
            EXPECT_TRUE(Bar.contains(Part->geometry()))
                << Part->objectName().toStdString() << " at " << Size.width();
    }
}

TEST_F(WindowsMediaPlayerTest, PictureIsNeverEnlargedAndShrinksKeepingItsAspect) {
    FPane->show();
    FPane->resize(640 + 8, 480 + 64); // a 640 x 480 video area
    struct TRow {
        QSize Video;
        QRect Picture; // inside the video area
    };
    const TRow Rows[] = {
        {{320, 240}, {160, 120, 320, 240}}, // smaller: its own size, centred
        {{640, 480}, {0, 0, 640, 480}},     // the area's own size
        {{1280, 720}, {0, 60, 640, 360}},   // wider: shrunk to the width
        {{600, 960}, {170, 0, 300, 480}},   // taller: shrunk to the height
        {{700, 200}, {0, 149, 640, 182}},   // wider only, rounded down
        {{}, {0, 0, 640, 480}},             // no video known: the whole area
    };
    for (const TRow& Row : Rows) {
        FEngine->SetVideoSize(Row.Video);
        EXPECT_EQ(FPane->PictureRect(), Row.Picture) << Row.Video.width() << "x" << Row.Video.height();
        EXPECT_EQ(FEngine->FViewSize, Row.Picture.size()) << Row.Video.width() << "x" << Row.Video.height();
    }

    // The picture is drawn where it belongs, on black.
    FEngine->SetVideoSize({320, 240});
    QImage Frame(320, 240, QImage::Format_RGB32);
    Frame.fill(Qt::red);
    FEngine->SetFrame(Frame);
    const QImage Shot = VideoArea()->grab().toImage();
    EXPECT_EQ(Shot.pixelColor(160, 120), QColor(Qt::red));
    EXPECT_EQ(Shot.pixelColor(479, 359), QColor(Qt::red));
    EXPECT_EQ(Shot.pixelColor(159, 120), QColor(Qt::black));
    EXPECT_EQ(Shot.pixelColor(480, 360), QColor(Qt::black));
    EXPECT_EQ(Shot.pixelColor(0, 0), QColor(Qt::black));

    // A smaller pane shrinks the same video, and a bigger one leaves it alone again.
    FPane->resize(160 + 8, 120 + 64);
    EXPECT_EQ(FEngine->FViewSize, QSize(160, 120));
    FPane->resize(1288, 784);
    EXPECT_EQ(FEngine->FViewSize, QSize(320, 240));
}

TEST_F(WindowsMediaPlayerTest, BarButtonsActOnThisPaneAlone) {
    auto OtherEngine = std::make_unique<TFakeMediaEngine>();
    TFakeMediaEngine* Other = OtherEngine.get();
    TWindowsMediaPlayer OtherPane(std::move(OtherEngine));
    FPane->show();
    FPane->SetURL(QStringLiteral("/m/a.mp4"));
    auto* PlayButton = FPane->findChild<QToolButton*>(QStringLiteral("PlayButton"));
    auto* StopButton = FPane->findChild<QToolButton*>(QStringLiteral("StopButton"));
    PlayButton->click();
    EXPECT_EQ(FPane->GetPlayState(), wmppsPlaying);
    PlayButton->click();
    EXPECT_EQ(FPane->GetPlayState(), wmppsPaused);
    FEngine->SetPlaybackPosition(5);
    StopButton->click();
    EXPECT_EQ(FPane->GetPlayState(), wmppsStopped);
    EXPECT_EQ(FPane->GetCurrentPosition(), 0.0);
    EXPECT_TRUE(FChanges.empty()); // stop's rewind is the engine's own
    const std::vector<std::string> Expected = {"Load /m/a.mp4", "Play", "Pause", "Stop"};
    std::vector<std::string> Transport;
    for (const std::string& Call : FEngine->Calls())
        if (Call.rfind("SetViewSize", 0) != 0)
            Transport.push_back(Call);
    EXPECT_EQ(Transport, Expected);
    for (const std::string& Call : Other->Calls())
        EXPECT_EQ(Call.rfind("SetViewSize", 0), 0u) << Call;
}

TEST_F(WindowsMediaPlayerTest, SettingsReachTheEngineAndRejectedValuesAreIgnored) {
    FPane->SetVolume(40);
    FPane->SetVolume(101);
    FPane->SetBalance(-100);
    FPane->SetBalance(-101);
    FPane->SetRate(0.0);
    FPane->SetRate(-1.0);
    FPane->SetPlayCount(999);
    FPane->SetPlayCount(0);
    FPane->SetMute(true);
    EXPECT_EQ(FPane->GetVolume(), 40);
    EXPECT_EQ(FPane->GetBalance(), -100);
    EXPECT_EQ(FPane->GetRate(), 0.0);
    EXPECT_EQ(FPane->GetPlayCount(), 999);
    EXPECT_TRUE(FPane->GetMute());
    EXPECT_EQ(FEngine->FVolume, 40);
    EXPECT_EQ(FEngine->FBalance, -100);
    EXPECT_EQ(FEngine->FRate, 0.0);
    EXPECT_EQ(FEngine->FPlayCount, 999);
}

TEST_F(WindowsMediaPlayerTest, UnplayableFileShowsReasonAndPlayPasses) {
    FPane->SetURL(QStringLiteral("/m/text.mp4"));
    EXPECT_EQ(FPane->GetPlayState(), wmppsReady);
    FEngine->FailPlayback(QStringLiteral("unrecognized file format"));
    EXPECT_EQ(FPane->GetPlayState(), wmppsUndefined);
    EXPECT_EQ(VideoArea()->toolTip(), QStringLiteral("unrecognized file format"));
    const QImage Shot = VideoArea()->grab().toImage();
    EXPECT_FALSE(Shot.isNull());
    FPane->SetURL(QStringLiteral("/m/a.mp4"));
    EXPECT_EQ(VideoArea()->toolTip(), QString());
}

} // namespace
