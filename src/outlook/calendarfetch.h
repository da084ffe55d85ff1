#pragma once
// Online calendars: a calendar a group follows may be an https:// (or
// webcal://, which means the same) address instead of a file. The address
// usually carries the calendar's secret in its path or query, so it is shown
// only as its host ("calendar.example.org/…") and never written anywhere but
// the group's own file.
//
// The last copy fetched is kept in the program folder ("calendars/", a file
// named after a hash of the address, readable by the user alone) with the
// server's ETag and Last-Modified beside it, so that an unchanged calendar is
// not fetched again and an offline start still has the last alarms.

#include <QByteArray>
#include <QString>
#include <QUrl>

namespace qv::outlook {

// An address a group may follow: one beginning with https:// or webcal://
// (any case). Plain http:// is recognised too, so it can be refused with a
// message instead of being taken for a file name.
bool isCalendarAddress(const QString& text);
// The address to fetch: webcal:// becomes https://; anything that is not a
// valid absolute URL gives an invalid one.
QUrl calendarUrl(const QString& address);
// Whether an address may be fetched at all: https, or plain http to this
// computer itself (localhost, 127.0.0.1, ::1), where nothing goes over a network.
bool fetchAllowed(const QUrl& url);
// Whether a server may send a fetch on from `from` to `to`: only to an
// address that may be fetched, and never from https to plain http.
bool redirectAllowed(const QUrl& from, const QUrl& to);
// The address as the user and the log may see it: its host (and a port that
// is not the usual one), then "/…" when it has a path or query. Never the
// user name, password, path, query or fragment.
QString displayAddress(const QString& address);

enum class FetchFailure {
    None,
    NotAllowed,      // not https (nor http to this computer)
    BadAddress,      // not an address at all
    Unreachable,     // no network, unknown host, refused connection
    Timeout,         // no whole answer within the time allowed
    HttpStatus,      // the server answered with an error (see `status`)
    Tls,             // the secure connection failed
    TooLarge,        // more than the allowed size
    UnsafeRedirect,  // sent on to an address that may not be fetched
    TooManyRedirects,
    Other,  // any other failure of the transfer
};

struct FetchOptions {
    int timeoutMs = 30000;  // for the whole fetch, redirects included
    qint64 maxBytes = 16 * 1024 * 1024;
    int maxRedirects = 5;
};

// The validators a copy was fetched with.
struct Validators {
    QByteArray etag;
    QByteArray lastModified;
};

struct FetchResult {
    FetchFailure failure = FetchFailure::None;
    int status = 0;            // the HTTP status, when the server answered
    bool notModified = false;  // 304: the copy the validators came from is current
    QByteArray body;           // the calendar, on success without notModified
    Validators validators;     // the server's, on success
};

// Fetches the calendar on the calling thread, which it blocks; the thread's
// events run meanwhile (a local event loop). `known` (may be empty) is sent as
// If-None-Match and If-Modified-Since. Needs a QCoreApplication.
FetchResult fetchCalendar(const QUrl& url, const Validators& known, const FetchOptions& options);

// The cached copy of one address's calendar.
class CalendarCache {
  public:
    // `folder`: the program folder (empty: no copy is kept).
    CalendarCache(const QString& folder, const QString& address);

    struct Copy {
        QByteArray body;
        Validators validators;
    };
    // The copy kept, if there is one and it is a regular file within `maxBytes`.
    bool load(Copy& copy, qint64 maxBytes) const;
    // Keeps `copy`, replacing the last one; false when it could not be written
    // (the last one is then still whole, or gone).
    bool store(const Copy& copy) const;

    QString bodyPath() const { return body_; }
    QString validatorsPath() const { return meta_; }

  private:
    QString folder_, body_, meta_;
};

}  // namespace qv::outlook
