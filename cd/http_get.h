#pragma once
// One HTTP GET of a small text, for the CDDB exchange. The caller's thread keeps handling its
// events while it waits, and every request ends: at its time-out, at its size cap, or when the
// user asks to stop.

#include <QByteArray>
#include <QString>

namespace vn {

class Feedback;

enum HttpResult : int {
    HttpEmptyUrl = -1,
    HttpNoSession = -2, // the URL cannot be requested (not an http or https URL)
    HttpTimedOut = -3,
    HttpBroken = -4,    // the connection failed or closed before the reply was complete
    HttpCanceled = -5,  // the user asked to stop
};

struct HttpLimits {
    int timeoutMs = 10000; // for the whole request
    qint64 maxBytes = 1 << 20;
};

// The agent name every request carries.
inline constexpr const char* HttpAgent = "Agent-A";

// GETs url (sent as it stands) into body; the number of bytes received, or an HttpResult. A body
// larger than maxBytes is cut there and counts as received. The reply's body is taken whatever its
// HTTP status. With feedback, its pumpMessages runs while the request waits and its abort request
// ends the request.
int httpGetText(const QString& url, QByteArray& body, const HttpLimits& limits = {}, Feedback* feedback = nullptr);

} // namespace vn
