#include "outlook/calendarfetch.h"

#include <unistd.h>

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QHostAddress>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QTemporaryFile>
#include <QTimer>
#include <cstdio>
#include <mutex>

namespace qv::outlook {

namespace {

bool startsWith(const QString& text, const char* prefix) {
    return text.startsWith(QLatin1String(prefix), Qt::CaseInsensitive);
}

bool isLoopbackHost(const QString& host) {
    if (host.compare(QLatin1String("localhost"), Qt::CaseInsensitive) == 0) return true;
    const QHostAddress address(host);
    return !address.isNull() && address.isLoopback();
}

// A validator the server sent, fit to be stored on one line and sent back:
// printable ASCII of a sensible length, else nothing.
QByteArray cleanValidator(const QByteArray& value) {
    if (value.size() > 512) return {};
    for (const char c : value)
        if (c < 0x20 || c > 0x7e) return {};
    return value.trimmed();
}

FetchFailure failureOf(QNetworkReply::NetworkError e, int status) {
    switch (e) {
        case QNetworkReply::ConnectionRefusedError:
        case QNetworkReply::RemoteHostClosedError:
        case QNetworkReply::HostNotFoundError:
        case QNetworkReply::TemporaryNetworkFailureError:
        case QNetworkReply::NetworkSessionFailedError:
        case QNetworkReply::UnknownNetworkError:
        case QNetworkReply::ProxyConnectionRefusedError:
        case QNetworkReply::ProxyConnectionClosedError:
        case QNetworkReply::ProxyNotFoundError:
        case QNetworkReply::ProxyTimeoutError:
            return FetchFailure::Unreachable;
        case QNetworkReply::TimeoutError:
        case QNetworkReply::OperationCanceledError:
            return FetchFailure::Timeout;
        case QNetworkReply::SslHandshakeFailedError:
            return FetchFailure::Tls;
        case QNetworkReply::TooManyRedirectsError:
            return FetchFailure::TooManyRedirects;
        case QNetworkReply::InsecureRedirectError:
            return FetchFailure::UnsafeRedirect;
        default:
            return status >= 400 ? FetchFailure::HttpStatus : FetchFailure::Other;
    }
}

// Cache files are read and replaced under one lock: two groups may follow one
// address, each synchronised on a thread of its own.
std::mutex& cacheLock() {
    static std::mutex m;
    return m;
}

// Write beside, flush to the disk, then rename over: a reader sees the old
// file or the new one, never a part. The file is the user's alone (0600).
bool writeAtomically(const QString& path, const QByteArray& bytes) {
    QTemporaryFile file(path + QStringLiteral(".XXXXXX"));
    if (!file.open()) return false;
    if (file.write(bytes) != bytes.size() || !file.flush() || ::fsync(file.handle()) != 0)
        return false;
    file.close();
    if (std::rename(QFile::encodeName(file.fileName()).constData(),
                    QFile::encodeName(path).constData()) != 0)
        return false;
    file.setAutoRemove(false);
    return true;
}

}  // namespace

bool isCalendarAddress(const QString& text) {
    const QString t = text.trimmed();
    return startsWith(t, "https://") || startsWith(t, "webcal://") || startsWith(t, "webcals://") ||
           startsWith(t, "http://");
}

QUrl calendarUrl(const QString& address) {
    QString text = address.trimmed();
    for (const char* scheme : {"webcal://", "webcals://"})
        if (startsWith(text, scheme))
            text = QStringLiteral("https://") + text.mid(static_cast<int>(qstrlen(scheme)));
    QUrl url(text, QUrl::StrictMode);
    if (!url.isValid() || url.isRelative() || url.host().isEmpty()) return {};
    return url;
}

bool fetchAllowed(const QUrl& url) {
    if (!url.isValid() || url.host().isEmpty()) return false;
    const QString scheme = url.scheme().toLower();
    if (scheme == QLatin1String("https")) return true;
    return scheme == QLatin1String("http") && isLoopbackHost(url.host());
}

bool redirectAllowed(const QUrl& from, const QUrl& to) {
    if (!fetchAllowed(to)) return false;
    return !(from.scheme().toLower() == QLatin1String("https") &&
             to.scheme().toLower() != QLatin1String("https"));
}

QString displayAddress(const QString& address) {
    const QString ellipsis = QStringLiteral("\u2026");
    QUrl url = calendarUrl(address);
    if (!url.isValid()) {
        // Still only the host, if one can be made out at all.
        url = QUrl(address.trimmed());
        if (!url.isValid() || url.host().isEmpty()) return ellipsis;
    }
    QString shown = url.host();
    if (shown.contains(QLatin1Char(':'))) shown = QLatin1Char('[') + shown + QLatin1Char(']');
    const int usual = url.scheme().toLower() == QLatin1String("http") ? 80 : 443;
    if (url.port() != -1 && url.port() != usual)
        shown += QLatin1Char(':') + QString::number(url.port());
    if ((!url.path().isEmpty() && url.path() != QLatin1String("/")) || url.hasQuery() ||
        url.hasFragment())
        shown += QLatin1Char('/') + ellipsis;
    return shown;
}

FetchResult fetchCalendar(const QUrl& url, const Validators& known, const FetchOptions& options) {
    FetchResult r;
    if (!url.isValid() || url.isRelative() || url.host().isEmpty()) {
        r.failure = FetchFailure::BadAddress;
        return r;
    }
    if (!fetchAllowed(url)) {
        r.failure = FetchFailure::NotAllowed;
        return r;
    }
    if (!QCoreApplication::instance()) {
        // No event loop can run: nothing can be fetched.
        r.failure = FetchFailure::Other;
        return r;
    }

    QNetworkAccessManager manager;
    QNetworkRequest request(url);
    // Every step of a redirect is checked here, not by the default policy.
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute,
                         QNetworkRequest::UserVerifiedRedirectPolicy);
    request.setMaximumRedirectsAllowed(options.maxRedirects);
    request.setRawHeader("Accept", "text/calendar, */*;q=0.5");
    request.setHeader(QNetworkRequest::UserAgentHeader, QByteArray("Quorvane"));
    if (!known.etag.isEmpty()) request.setRawHeader("If-None-Match", known.etag);
    if (!known.lastModified.isEmpty())
        request.setRawHeader("If-Modified-Since", known.lastModified);

    QEventLoop loop;
    QTimer timer;
    timer.setSingleShot(true);
    QNetworkReply* reply = manager.get(request);
    QByteArray body;
    bool timedOut = false, tooLarge = false, unsafe = false;
    QUrl current = url;
    auto refuseSize = [&] {
        tooLarge = true;
        reply->abort();
    };
    QObject::connect(reply, &QNetworkReply::redirected, &loop, [&](const QUrl& to) {
        const QUrl target = current.resolved(to);
        if (redirectAllowed(current, target)) {
            current = target;
            emit reply->redirectAllowed();
        } else {
            unsafe = true;
            reply->abort();
        }
    });
    QObject::connect(reply, &QNetworkReply::metaDataChanged, &loop, [&] {
        const QVariant length = reply->header(QNetworkRequest::ContentLengthHeader);
        if (length.isValid() && length.toLongLong() > options.maxBytes) refuseSize();
    });
    QObject::connect(reply, &QIODevice::readyRead, &loop, [&] {
        body += reply->read(options.maxBytes + 1 - body.size());
        if (body.size() > options.maxBytes) refuseSize();
    });
    QObject::connect(&timer, &QTimer::timeout, &loop, [&] {
        timedOut = true;
        reply->abort();
    });
    QObject::connect(reply, &QNetworkReply::finished, &loop, &QEventLoop::quit);
    timer.start(options.timeoutMs);
    if (!reply->isFinished()) loop.exec();
    timer.stop();

    if (!tooLarge && !timedOut && !unsafe) {
        body += reply->read(options.maxBytes + 1 - body.size());
        tooLarge = body.size() > options.maxBytes;
    }
    r.status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    if (timedOut) {
        r.failure = FetchFailure::Timeout;
    } else if (unsafe) {
        r.failure = FetchFailure::UnsafeRedirect;
    } else if (tooLarge) {
        r.failure = FetchFailure::TooLarge;
    } else if (reply->error() != QNetworkReply::NoError) {
        r.failure = failureOf(reply->error(), r.status);
    } else if (r.status == 304) {
        r.notModified = true;
    } else if (r.status < 200 || r.status > 299) {
        r.failure = FetchFailure::HttpStatus;
    } else {
        r.body = std::move(body);
        r.validators.etag = cleanValidator(reply->rawHeader("ETag"));
        r.validators.lastModified = cleanValidator(reply->rawHeader("Last-Modified"));
    }
    delete reply;
    return r;
}

// ---- The cached copy ----------------------------------------------------------------

CalendarCache::CalendarCache(const QString& folder, const QString& address) {
    if (folder.isEmpty()) return;
    folder_ = folder + QStringLiteral("/calendars");
    // Named after the address, which never shows: it holds the calendar's secret.
    const QString name = QString::fromLatin1(
        QCryptographicHash::hash(address.trimmed().toUtf8(), QCryptographicHash::Sha256)
            .toHex()
            .left(32));
    body_ = folder_ + QLatin1Char('/') + name + QStringLiteral(".ics");
    meta_ = folder_ + QLatin1Char('/') + name + QStringLiteral(".validators");
}

bool CalendarCache::load(Copy& copy, qint64 maxBytes) const {
    if (body_.isEmpty()) return false;
    std::lock_guard<std::mutex> lock(cacheLock());
    const QFileInfo info(body_);
    if (!info.isFile() || info.isSymLink() || info.size() > maxBytes) return false;
    QFile file(body_);
    if (!file.open(QIODevice::ReadOnly)) return false;
    copy.body = file.read(maxBytes + 1);
    if (file.error() != QFileDevice::NoError || copy.body.size() > maxBytes) return false;
    copy.validators = {};
    QFile meta(meta_);
    if (meta.open(QIODevice::ReadOnly)) {
        // "ETag: ..." and "Last-Modified: ..." lines; anything else is ignored.
        for (const QByteArray& line : meta.read(4096).split('\n')) {
            const int colon = line.indexOf(':');
            if (colon < 0) continue;
            const QByteArray key = line.left(colon).trimmed().toLower();
            const QByteArray value = cleanValidator(line.mid(colon + 1));
            if (key == "etag") copy.validators.etag = value;
            if (key == "last-modified") copy.validators.lastModified = value;
        }
    }
    return true;
}

bool CalendarCache::store(const Copy& copy) const {
    if (body_.isEmpty()) return false;
    std::lock_guard<std::mutex> lock(cacheLock());
    if (!QFileInfo(folder_).isDir()) {
        if (!QDir().mkpath(folder_)) return false;
        QFile::setPermissions(
            folder_, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    }
    // The validators go first and come back last: they must never describe
    // an older copy than the one beside them.
    QFile::remove(meta_);
    if (!writeAtomically(body_, copy.body)) return false;
    QByteArray meta;
    const QByteArray etag = cleanValidator(copy.validators.etag);
    const QByteArray modified = cleanValidator(copy.validators.lastModified);
    if (!etag.isEmpty()) meta += "ETag: " + etag + "\n";
    if (!modified.isEmpty()) meta += "Last-Modified: " + modified + "\n";
    return meta.isEmpty() || writeAtomically(meta_, meta);
}

}  // namespace qv::outlook
