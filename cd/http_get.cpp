#include "cd/http_get.h"

#include "util/feedback.h"

#include <QEventLoop>
#include <QHostAddress>
#include <QNetworkAccessManager>
#include <QNetworkProxyFactory>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QTimer>
#include <QUrl>

namespace vn {

namespace {

// How often the waiting caller's own work gets a turn.
constexpr int PumpIntervalMs = 50;

// The system's proxy settings, except for this machine itself, which no proxy can reach for us.
class SystemProxies : public QNetworkProxyFactory {
public:
    QList<QNetworkProxy> queryProxy(const QNetworkProxyQuery& query) override
    {
        const QString host = query.peerHostName();
        if (host.compare(QStringLiteral("localhost"), Qt::CaseInsensitive) == 0 || QHostAddress(host).isLoopback())
            return {QNetworkProxy(QNetworkProxy::NoProxy)};
        return systemProxyForQuery(query);
    }
};

bool isTransferError(QNetworkReply::NetworkError error)
{
    // Errors that only restate the HTTP status (404, 500, ...) still come with a body to read.
    const int e = int(error);
    const bool statusOnly = (e >= 201 && e <= 299) || (e >= 401 && e <= 499);
    return error != QNetworkReply::NoError && !statusOnly;
}

} // namespace

int httpGetText(const QString& url, QByteArray& body, const HttpLimits& limits, Feedback* feedback)
{
    body.clear();
    if (url.isEmpty())
        return HttpEmptyUrl;
    const QUrl target = QUrl::fromEncoded(url.toUtf8(), QUrl::TolerantMode);
    const QString scheme = target.scheme().toLower();
    if (!target.isValid() || target.host().isEmpty() || (scheme != u"http" && scheme != u"https"))
        return HttpNoSession;

    QNetworkAccessManager manager;
    manager.setProxyFactory(new SystemProxies);
    QNetworkRequest request(target);
    request.setHeader(QNetworkRequest::UserAgentHeader, QByteArray(HttpAgent));
    request.setAttribute(QNetworkRequest::CacheLoadControlAttribute, QNetworkRequest::AlwaysNetwork);
    request.setAttribute(QNetworkRequest::CacheSaveControlAttribute, false);

    QNetworkReply* reply = manager.get(request);
    reply->setReadBufferSize(limits.maxBytes + 1);
    bool capped = false, timedOut = false, canceled = false;
    QEventLoop loop;

    auto take = [&] {
        if (!reply->isOpen())
            return; // aborted: nothing more to take
        const qint64 room = limits.maxBytes - body.size();
        if (room > 0)
            body += reply->read(room);
        if (reply->bytesAvailable() > 0 && !capped) {
            capped = true;
            reply->abort();
        }
    };
    QObject::connect(reply, &QNetworkReply::readyRead, &loop, take);
    QObject::connect(reply, &QNetworkReply::finished, &loop, &QEventLoop::quit);

    QTimer deadline;
    deadline.setSingleShot(true);
    QObject::connect(&deadline, &QTimer::timeout, &loop, [&] {
        timedOut = true;
        reply->abort();
    });
    deadline.start(std::max(limits.timeoutMs, 1));

    QTimer pump;
    if (feedback) {
        QObject::connect(&pump, &QTimer::timeout, &loop, [&] {
            feedback->pumpMessages();
            if (feedback->abortRequested() && !reply->isFinished()) {
                canceled = true;
                reply->abort();
            }
        });
        pump.start(PumpIntervalMs);
    }

    if (!reply->isFinished())
        loop.exec();
    if (!capped)
        take();
    const QNetworkReply::NetworkError error = reply->error();
    delete reply;

    if (capped)
        return int(body.size());
    if (canceled)
        return HttpCanceled;
    if (timedOut)
        return HttpTimedOut;
    if (isTransferError(error))
        return HttpBroken;
    return int(body.size());
}

} // namespace vn
