// SPDX-FileCopyrightText: 2026 Quadrelle Project
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <QObject>
#include <QString>
#include <QStringList>

#include <functional>

class QLocalServer;
class QLocalSocket;

// How a second start of the program gives its files to the copy that runs:
// over a local socket beside the single-instance lock (NamedMutexSocketName).
// The request is the list of files; the answer, one byte, is sent as soon as
// the whole list has arrived, so the sender learns that the running copy took
// the files, not how loading them went.

// Serves requests in the running copy. GUI thread only.
class THandOverServer : public QObject {
    Q_OBJECT
public:
    using TOnFiles = std::function<void(const QStringList& Files)>;

    explicit THandOverServer(TOnFiles OnFiles, QObject* Parent = nullptr);
    ~THandOverServer() override;

    // Starts serving at Name. A socket left by an ended copy is replaced; one
    // that a live copy serves is not, and the result is then false, as it is
    // when the socket cannot be made.
    bool Listen(const QString& Name);
    // Stops serving and removes the socket.
    void Close();
    bool IsListening() const;

private:
    void Accept();
    void Read(QLocalSocket* Client, QByteArray& Buffer);

    QLocalServer* FServer;
    TOnFiles FOnFiles; // runs after the answer is on its way
};

enum class THandOverResult {
    Delivered, // the running copy took the files
    NoCopy,    // the other copy ended before it could be reached
    NoAnswer,  // it could not be reached or did not answer in time
};

// Sends Files to the copy serving at Name and waits at most TimeoutMs, in
// all, for the answer. Until a connection is made it retries, asking
// StillRunning between attempts; once that says no, the result is NoCopy at
// once. On NoAnswer, Error tells why. Blocks the calling thread; needs no
// event loop, so it may run before any application object exists.
THandOverResult HandOverFiles(const QString& Name, const QStringList& Files, int TimeoutMs,
                              const std::function<bool()>& StillRunning, QString& Error);
