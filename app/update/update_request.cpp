#include "update_request.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QTimer>
#include <QUrl>

#include <cstdlib>

namespace oakvane {

namespace {

constexpr const char* kDefaultBase = "https://www.oakvane.example";
// A first line longer than this is cut; the site's answer is one short word.
constexpr qint64 kMaxLine = 4096;

bool line_ready(const QNetworkReply& reply)
{
    return reply.canReadLine() || reply.bytesAvailable() >= kMaxLine;
}

QNetworkRequest make_request(const std::string& url)
{
    QNetworkRequest request(QUrl(QString::fromStdString(url), QUrl::TolerantMode));
    request.setAttribute(QNetworkRequest::CacheLoadControlAttribute,
                         QNetworkRequest::AlwaysNetwork);
    request.setHeader(QNetworkRequest::UserAgentHeader, QStringLiteral("Oakvane"));
    return request;
}

// The first line is all the check needs, so a server that goes on sending, or keeps the
// connection open after it, is not waited for.
void wait_for_first_line(QNetworkReply& reply, std::chrono::milliseconds timeout)
{
    if (reply.isFinished())
        return;
    QEventLoop loop;
    QTimer timer;
    timer.setSingleShot(true);
    QObject::connect(&timer, &QTimer::timeout, &loop, &QEventLoop::quit);
    QObject::connect(&reply, &QNetworkReply::finished, &loop, &QEventLoop::quit);
    QObject::connect(&reply, &QNetworkReply::readyRead, &loop, [&] {
        if (line_ready(reply))
            loop.quit();
    });
    timer.start(timeout);
    loop.exec(QEventLoop::ExcludeUserInputEvents);
}

std::optional<std::string> take_first_line(QNetworkReply& reply)
{
    // A half line from a server that stalled is not an answer.
    if (!reply.isFinished() && !line_ready(reply))
        return std::nullopt;
    QByteArray line = reply.readLine(kMaxLine);
    if (line.isEmpty())
        return std::nullopt;
    if (line.endsWith('\n'))
        line.chop(1);
    if (line.endsWith('\r'))
        line.chop(1);
    return line.toStdString();
}

}  // namespace

std::string update_base_url()
{
    const char* base = std::getenv("OAKVANE_UPDATE_URL");
    return base && *base ? base : kDefaultBase;
}

std::string update_url(std::string_view base, std::string_view version)
{
    while (base.ends_with('/'))
        base.remove_suffix(1);
    std::string url(base);
    url += "/Oakvane/update_check.php?platform=linux&version=";
    url += version;
    return url;
}

std::optional<std::string> fetch_first_line(const std::string& url,
                                            std::chrono::milliseconds timeout)
{
    // Without an application object there is no event loop to carry the request.
    if (!QCoreApplication::instance())
        return std::nullopt;
    QNetworkAccessManager manager;  // owns the reply and aborts it if still running
    QNetworkReply* reply = manager.get(make_request(url));
    wait_for_first_line(*reply, timeout);
    std::optional<std::string> line = take_first_line(*reply);
    reply->abort();
    return line;
}

}  // namespace oakvane
