#include "support/cd_fixtures.h"

#include <QDir>
#include <QFileInfo>
#include <cstring>
#include <QEventLoop>
#include <QProcess>
#include <QTimer>

namespace vn::test {

namespace {

QByteArray msf(int lba)
{
    return QString::asprintf("%02d:%02d:%02d", lba / 4500, lba / 75 % 60, lba % 75).toLatin1();
}

QByteArray noise(int sectors, uint64_t seed)
{
    QByteArray bytes(qsizetype(sectors) * SectorSize, '\0');
    SplitMix mix{seed};
    for (qsizetype i = 0; i + 8 <= bytes.size(); i += 8) {
        const uint64_t v = mix.next();
        std::memcpy(bytes.data() + i, &v, 8);
    }
    return bytes;
}

constexpr qint64 FloodTotal = 50ll << 20;
constexpr qint64 FloodChunk = 64 << 10;

} // namespace

DiscImage makeDiscImage(const QString& dir, const QString& name, const std::vector<int>& starts, int audioEnd,
                        int dataSectors, uint64_t seed)
{
    DiscImage image;
    image.binPath = QDir(dir).filePath(name + QStringLiteral(".bin"));
    image.cuePath = QDir(dir).filePath(name + QStringLiteral(".cue"));
    image.audio = noise(audioEnd, seed);
    // A stretch of digital silence, as between real tracks.
    if (audioEnd > 40)
        image.audio.replace(qsizetype(audioEnd - 20) * SectorSize, 10 * SectorSize, QByteArray(10 * SectorSize, '\0'));
    QByteArray bin = image.audio + noise(dataSectors, seed + 1);
    writeFile(image.binPath, bin);

    QByteArray cue = "FILE \"" + QFileInfo(image.binPath).fileName().toUtf8() + "\" BINARY\n";
    for (size_t k = 0; k < starts.size(); ++k) {
        cue += QString::asprintf("  TRACK %02d AUDIO\n", int(k + 1)).toLatin1();
        if (k == 0 && starts[0] > 0)
            cue += "    INDEX 00 00:00:00\n";
        cue += "    INDEX 01 " + msf(starts[k]) + "\n";
    }
    if (dataSectors > 0)
        cue += QString::asprintf("  TRACK %02d MODE1/2352\n    INDEX 01 ", int(starts.size() + 1)).toLatin1() +
               msf(audioEnd) + "\n";
    writeFile(image.cuePath, cue);
    return image;
}

CannedHttpServer::CannedHttpServer()
{
    server_.listen(QHostAddress::LocalHost, 0);
    QObject::connect(&server_, &QTcpServer::newConnection, this, [this] {
        while (QTcpSocket* socket = server_.nextPendingConnection())
            serve(socket);
    });
}

CannedHttpServer::~CannedHttpServer()
{
    for (const QPointer<QTcpSocket>& s : sockets_) {
        if (s)
            s->abort();
    }
}

QByteArray CannedHttpServer::url(const QByteArray& path) const
{
    return "http://127.0.0.1:" + QByteArray::number(server_.serverPort()) + path;
}

void CannedHttpServer::serve(QTcpSocket* socket)
{
    sockets_.append(socket);
    auto* pending = new QByteArray;
    QObject::connect(socket, &QObject::destroyed, [pending] { delete pending; });
    QObject::connect(socket, &QTcpSocket::readyRead, this, [this, socket, pending] {
        *pending += socket->readAll();
        const qsizetype end = pending->indexOf("\r\n\r\n");
        if (end < 0)
            return;
        const QByteArray request = pending->first(end + 4);
        pending->remove(0, end + 4);
        answer(socket, request);
    });
    QObject::connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
}

void CannedHttpServer::answer(QTcpSocket* socket, const QByteArray& request)
{
    const QByteArray line = request.first(std::max<qsizetype>(request.indexOf("\r\n"), 0));
    requestLines << line;
    requests << request;
    const Rule* rule = nullptr;
    for (const auto& [key, r] : rules_) {
        if (line.contains(key)) {
            rule = &r;
            break;
        }
    }
    if (!rule) {
        socket->write("HTTP/1.1 404 Not Found\r\nContent-Length: 0\r\n\r\n");
        return;
    }
    switch (rule->kind) {
    case Kind::Silent:
        return;
    case Kind::Reply:
        socket->write("HTTP/1.1 " + QByteArray::number(rule->status) + " Canned\r\nContent-Type: text/plain\r\n"
                      "Content-Length: " + QByteArray::number(rule->body.size()) + "\r\n\r\n" + rule->body);
        return;
    case Kind::CloseMidway:
        socket->write("HTTP/1.1 200 OK\r\nContent-Length: " + QByteArray::number(rule->body.size() * 10) + "\r\n\r\n" +
                      rule->body);
        socket->flush();
        socket->disconnectFromHost();
        return;
    case Kind::Flood: {
        socket->write("HTTP/1.1 200 OK\r\nContent-Type: text/plain\r\nContent-Length: " + QByteArray::number(FloodTotal) +
                      "\r\n\r\n");
        // Written as the client takes it, so the flood never sits in this process's memory.
        auto more = [this, socket] {
            while (floodBytesSent < FloodTotal && socket->bytesToWrite() < 4 * FloodChunk) {
                socket->write(QByteArray(FloodChunk, 'x'));
                floodBytesSent += FloodChunk;
            }
        };
        QObject::connect(socket, &QTcpSocket::bytesWritten, this, more);
        more();
        return;
    }
    }
}

ProcessResult runServing(const QString& program, const QStringList& args)
{
    ProcessResult result;
    QProcess process;
    QEventLoop loop;
    QObject::connect(&process, &QProcess::finished, &loop, &QEventLoop::quit);
    // Only a guard against a test that would otherwise never end.
    QTimer guard;
    guard.setSingleShot(true);
    QObject::connect(&guard, &QTimer::timeout, &loop, &QEventLoop::quit);
    guard.start(120000);
    process.start(program, args);
    if (!process.waitForStarted(10000))
        return result;
    if (process.state() != QProcess::NotRunning)
        loop.exec();
    if (process.state() != QProcess::NotRunning) {
        process.kill();
        process.waitForFinished();
        result.exitCode = -2;
    } else {
        result.exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -3;
    }
    result.out = process.readAllStandardOutput();
    result.err = process.readAllStandardError();
    return result;
}

} // namespace vn::test
