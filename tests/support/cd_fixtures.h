#pragma once
// CD images made at test time (a BIN file of pseudo-random audio and its cue sheet, which libcdio
// opens as a drive), and a small HTTP server with canned replies on a real socket.

#include "support/recording_feedback.h"
#include "support/test_support.h"

#include <QByteArray>
#include <QList>
#include <QMap>
#include <QPointer>
#include <QString>
#include <QStringList>
#include <QTcpServer>
#include <QTcpSocket>
#include <vector>

namespace vn::test {

inline constexpr int SectorSize = 2352;

struct DiscImage {
    QString cuePath;
    QString binPath;
    QByteArray audio; // the audio tracks' bytes, from sector 0 to the end of the last audio track
};

// Audio tracks starting at the given sectors (track 1 may start after 0: its sheet then has an
// INDEX 00 at 0), audio up to audioEnd, then, with dataSectors, a data track of that length.
DiscImage makeDiscImage(const QString& dir, const QString& name, const std::vector<int>& starts, int audioEnd,
                        int dataSectors = 0, uint64_t seed = 1);

// An HTTP server on 127.0.0.1 that answers each request by the first rule whose key is part of the
// request line. It runs on the test's thread: the client's waiting loop serves it.
class CannedHttpServer : public QObject {
public:
    enum class Kind { Reply, Silent, Flood, CloseMidway };
    struct Rule {
        Kind kind = Kind::Reply;
        QByteArray body;
        int status = 200;
    };

    CannedHttpServer();
    ~CannedHttpServer() override;

    void reply(const QByteArray& key, const QByteArray& body, int status = 200) { rules_.append({key, {Kind::Reply, body, status}}); }
    void silent(const QByteArray& key) { rules_.append({key, {Kind::Silent, {}, 0}}); }
    void flood(const QByteArray& key) { rules_.append({key, {Kind::Flood, {}, 200}}); }
    void closeMidway(const QByteArray& key, const QByteArray& body) { rules_.append({key, {Kind::CloseMidway, body, 200}}); }

    QByteArray url(const QByteArray& path = "/~cddb/cddb.cgi") const;
    // The request lines ("GET /path?query HTTP/1.1") and the whole requests, in order.
    QList<QByteArray> requestLines;
    QList<QByteArray> requests;
    qint64 floodBytesSent = 0;

private:
    void serve(QTcpSocket* socket);
    void answer(QTcpSocket* socket, const QByteArray& request);

    QTcpServer server_;
    QList<QPair<QByteArray, Rule>> rules_;
    QList<QPointer<QTcpSocket>> sockets_;
};

// Runs a program while the test thread keeps serving events (for a server in this process).
ProcessResult runServing(const QString& program, const QStringList& args);

} // namespace vn::test
