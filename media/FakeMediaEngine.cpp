// SPDX-FileCopyrightText: 2026 Quadrelle Project
// SPDX-License-Identifier: GPL-3.0-or-later

#include "FakeMediaEngine.h"

#include "QuadvError.h"

#include <QTimer>

#include <sstream>

namespace {

std::string Number(double Value) {
    std::ostringstream Text;
    Text << Value;
    return Text.str();
}

} // namespace

void TFakeMediaEngine::SetStatus(TEngineStatus Status) {
    FStatus = Status;
    if (FObserver)
        FObserver->EngineStatusChanged();
}

void TFakeMediaEngine::SetPlaybackPosition(double Seconds) {
    MoveTo(Seconds, TPositionCause::Playback);
}

void TFakeMediaEngine::RaiseRestart(double Seconds) {
    MoveTo(Seconds, TPositionCause::Restart);
}

void TFakeMediaEngine::SetDuration(double Seconds) {
    FDuration = Seconds;
    if (FObserver)
        FObserver->EngineDurationChanged(Seconds);
}

void TFakeMediaEngine::FailPlayback(const QString& Reason) {
    FFailureReason = Reason;
    SetStatus(TEngineStatus::Failed);
}

void TFakeMediaEngine::SetFrame(const QImage& Frame) {
    FFrame = Frame;
    if (FObserver)
        FObserver->EngineFrameReady();
}

void TFakeMediaEngine::SetVideoSize(QSize Size) {
    FVideoSize = Size;
    if (FObserver)
        FObserver->EngineVideoSizeChanged();
}

void TFakeMediaEngine::MoveTo(double Seconds, TPositionCause Cause) {
    const double Old = FPosition;
    FPosition = Seconds;
    if (FObserver)
        FObserver->EnginePositionChanged(Old, Seconds, Cause);
}

void TFakeMediaEngine::Load(const QString& Path) {
    Record("Load " + Path.toStdString());
    if (FFailLoad)
        throw EQuadvError(*FFailLoad);
    FUrl = Path;
    FFailureReason.clear();
    FFrame = QImage(); // the old file's picture goes, as in the real engine
    if (FPosition != 0.0)
        MoveTo(0.0, TPositionCause::Restart);
    SetStatus(TEngineStatus::Ready);
}

void TFakeMediaEngine::Unload() {
    Record("Unload");
    FUrl.clear();
    FDuration = 0.0;
    FFrame = QImage();
    if (FPosition != 0.0)
        MoveTo(0.0, TPositionCause::Restart);
    SetStatus(TEngineStatus::NoMedia);
}

QString TFakeMediaEngine::Url() const {
    if (FFailUrlRead)
        throw EQuadvError(*FFailUrlRead);
    return FUrl;
}

TEngineStatus TFakeMediaEngine::Status() const {
    if (FFailStatusRead)
        throw EQuadvError(*FFailStatusRead);
    return FStatus;
}

void TFakeMediaEngine::Play() {
    Record("Play");
    if (FStatus != TEngineStatus::NoMedia && FStatus != TEngineStatus::Failed)
        SetStatus(TEngineStatus::Playing);
}

void TFakeMediaEngine::Pause() {
    Record("Pause");
    if (FStatus != TEngineStatus::NoMedia && FStatus != TEngineStatus::Failed)
        SetStatus(TEngineStatus::Paused);
}

void TFakeMediaEngine::Stop() {
    Record("Stop");
    if (FStatus == TEngineStatus::NoMedia || FStatus == TEngineStatus::Failed)
        return;
    if (FPosition != 0.0)
        MoveTo(0.0, TPositionCause::Restart);
    SetStatus(TEngineStatus::Stopped);
}

void TFakeMediaEngine::Seek(double Seconds) {
    Record("Seek " + Number(Seconds));
    MoveTo(Seconds, TPositionCause::Seek);
}

bool TFakeMediaEngine::Mute() const {
    if (FFailMuteRead)
        throw EQuadvError(*FFailMuteRead);
    return FMute;
}

void TFakeMediaEngine::SetMute(bool Muted) {
    Record(std::string("SetMute ") + (Muted ? "1" : "0"));
    FMute = Muted;
}

void TFakeMediaEngine::SetVolume(int Volume) {
    Record("SetVolume " + std::to_string(Volume));
    FVolume = Volume;
}

void TFakeMediaEngine::SetBalance(int Balance) {
    Record("SetBalance " + std::to_string(Balance));
    FBalance = Balance;
}

void TFakeMediaEngine::SetRate(double Rate) {
    Record("SetRate " + Number(Rate));
    FRate = Rate;
}

void TFakeMediaEngine::SetPlayCount(int Count) {
    Record("SetPlayCount " + std::to_string(Count));
    FPlayCount = Count;
}

void TFakeMediaEngine::SetViewSize(QSize Size) {
    Record("SetViewSize " + std::to_string(Size.width()) + "x" + std::to_string(Size.height()));
    FViewSize = Size;
}

void TFakeMediaEngine::SetLoopHold(bool Hold) {
    Record(std::string("SetLoopHold ") + (Hold ? "1" : "0"));
    FLoopHold = Hold;
}

void TFakeMediaEngine::StepFrame(TFrameStep Direction) {
    Record(Direction == TFrameStep::Forward ? "FrameStep" : "FrameBackStep");
    if (FStatus != TEngineStatus::NoMedia && FStatus != TEngineStatus::Failed)
        SetStatus(TEngineStatus::Paused);
}

void TFakeMediaEngine::Snapshot(const QString& File, TSnapshotDone Done) {
    Record("Snapshot " + File.toStdString());
    QString Error;
    if (FFailSnapshot) {
        Error = *FFailSnapshot;
    } else {
        QImage Picture = FFrame;
        if (Picture.isNull()) {
            Picture = QImage(16, 16, QImage::Format_RGB32);
            Picture.fill(Qt::black);
        }
        if (!Picture.save(File, "PNG"))
            Error = QStringLiteral("cannot write the file");
    }
    // Later, as the real engine reports it.
    QTimer::singleShot(0, &FReceiver, [Done = std::move(Done), Error] { Done(Error); });
}
