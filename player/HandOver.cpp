// SPDX-FileCopyrightText: 2026 Quadrelle Project
// SPDX-License-Identifier: GPL-3.0-or-later

#include "HandOver.h"

#include <QDataStream>
#include <QElapsedTimer>
#include <QLocalServer>
#include <QLocalSocket>
#include <QThread>
#include <QTimer>

#include <algorithm>
#include <memory>

namespace {

// A request: the magic, the payload's length (4 bytes, big-endian), then the
// payload: the number of files and each file, in QDataStream's form. The
// count is written by hand so that a reader can refuse a huge one before it
// allocates for it. The answer is kAccepted.
const QByteArray kMagic = QByteArrayLiteral("QUADV-FILES/1\n");
constexpr qsizetype kLengthSize = 4;
constexpr quint32 kMaxPayload = 1 << 20; // far more than any four paths
constexpr quint32 kMaxFiles = 256;
constexpr char kAccepted = 'K';
constexpr QDataStream::Version kStreamVersion = QDataStream::Qt_6_4;
constexpr int kRetryMs = 50;
// A client that connects and then stalls is dropped after this long.
constexpr int kClientPatienceMs = 5000;

QByteArray EncodeRequest(const QStringList& Files) {
    QByteArray payload;
    {
        QDataStream out(&payload, QIODevice::WriteOnly);
        out.setVersion(kStreamVersion);
        out << static_cast<quint32>(Files.size());
        for (const QString& file : Files)
            out << file;
    }
    QByteArray request = kMagic;
    QDataStream length(&request, QIODevice::Append);
    length << static_cast<quint32>(payload.size());
    return request + payload;
}

enum class TParse { Incomplete, Done, Bad };

TParse DecodeRequest(const QByteArray& Buffer, QStringList& Files) {
    const qsizetype head = kMagic.size() + kLengthSize;
    if (!kMagic.startsWith(Buffer.left(kMagic.size())))
        return TParse::Bad;
    if (Buffer.size() < head)
        return TParse::Incomplete;
    quint32 length = 0;
    QDataStream lengthIn(Buffer.mid(kMagic.size(), kLengthSize));
    lengthIn >> length;
    if (length > kMaxPayload)
        return TParse::Bad;
    if (Buffer.size() < head + static_cast<qsizetype>(length))
        return TParse::Incomplete;
    if (Buffer.size() > head + static_cast<qsizetype>(length))
        return TParse::Bad;
    QDataStream in(Buffer.mid(head));
    in.setVersion(kStreamVersion);
    quint32 count = 0;
    in >> count;
    if (count > kMaxFiles)
        return TParse::Bad;
    for (quint32 i = 0; i < count && in.status() == QDataStream::Ok; ++i) {
        QString file;
        in >> file;
        Files << file;
    }
    return in.status() == QDataStream::Ok && in.atEnd() ? TParse::Done : TParse::Bad;
}

} // namespace

THandOverServer::THandOverServer(TOnFiles OnFiles, QObject* Parent)
    : QObject(Parent), FServer(new QLocalServer(this)), FOnFiles(std::move(OnFiles)) {
    // No socket options: with them Qt makes the socket elsewhere and renames
    // it into place, over a live copy's socket. The folder is private anyway.
    connect(FServer, &QLocalServer::newConnection, this, &THandOverServer::Accept);
}

THandOverServer::~THandOverServer() {
    Close();
}

bool THandOverServer::Listen(const QString& Name) {
    if (Name.isEmpty())
        return false;
    Close();
    if (FServer->listen(Name))
        return true;
    if (FServer->serverError() != QAbstractSocket::AddressInUseError)
        return false;
    // Taken: by a live copy that answers, or by a socket an ended copy left.
    QLocalSocket probe;
    probe.connectToServer(Name);
    if (probe.waitForConnected(0) || probe.state() == QLocalSocket::ConnectingState)
        return false;
    QLocalServer::removeServer(Name);
    return FServer->listen(Name);
}

void THandOverServer::Close() {
    if (FServer->isListening())
        FServer->close(); // also removes the socket file
}

bool THandOverServer::IsListening() const {
    return FServer->isListening();
}

void THandOverServer::Accept() {
    while (QLocalSocket* client = FServer->nextPendingConnection()) {
        connect(client, &QLocalSocket::disconnected, client, &QObject::deleteLater);
        // The request so far; it lives as long as the connection.
        auto buffer = std::make_shared<QByteArray>();
        connect(client, &QLocalSocket::readyRead, this, [this, client, buffer] { Read(client, *buffer); });
        QTimer::singleShot(kClientPatienceMs, client, [client] { client->abort(); });
        if (client->bytesAvailable() > 0)
            Read(client, *buffer);
    }
}

void THandOverServer::Read(QLocalSocket* Client, QByteArray& Buffer) {
    Buffer += Client->readAll();
    QStringList files;
    switch (DecodeRequest(Buffer, files)) {
    case TParse::Incomplete:
        return;
    case TParse::Bad:
        Client->abort();
        return;
    case TParse::Done:
        break;
    }
    Buffer.clear();
    Client->write(&kAccepted, 1);
    Client->flush();
    Client->disconnectFromServer();
    if (FOnFiles)
        FOnFiles(files);
}

THandOverResult HandOverFiles(const QString& Name, const QStringList& Files, int TimeoutMs,
                              const std::function<bool()>& StillRunning, QString& Error) {
    QElapsedTimer clock;
    clock.start();
    const auto remaining = [&] { return std::max<int>(0, TimeoutMs - static_cast<int>(clock.elapsed())); };
    QLocalSocket socket;
    // The running copy makes its socket at its first show, just before its
    // lock: between the two, and while it starts, the socket may be missing.
    for (;;) {
        socket.connectToServer(Name);
        if (socket.waitForConnected(remaining()))
            break;
        Error = socket.errorString();
        socket.abort();
        if (StillRunning && !StillRunning())
            return THandOverResult::NoCopy;
        if (remaining() == 0)
            return THandOverResult::NoAnswer;
        QThread::msleep(static_cast<unsigned long>(std::min(kRetryMs, remaining())));
    }
    socket.write(EncodeRequest(Files));
    while (socket.bytesToWrite() > 0)
        if (!socket.waitForBytesWritten(remaining())) {
            Error = socket.errorString();
            return THandOverResult::NoAnswer;
        }
    while (socket.bytesAvailable() < 1)
        if (!socket.waitForReadyRead(remaining())) {
            Error = remaining() == 0 ? QStringLiteral("no answer") : socket.errorString();
            return THandOverResult::NoAnswer;
        }
    char answer = 0;
    if (socket.read(&answer, 1) != 1 || answer != kAccepted) {
        Error = QStringLiteral("unexpected answer");
        return THandOverResult::NoAnswer;
    }
    return THandOverResult::Delivered;
}
