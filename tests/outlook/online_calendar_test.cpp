// Online calendars: a synchronised group that follows an address, served by
// a small HTTP server inside the test (on this computer, where plain http is
// allowed). Changes, "not modified", failures with and without the last copy,
// redirects, and that the address's secret never shows in a message.

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <QCoreApplication>
#include <QEventLoop>
#include <QTcpServer>
#include <QTcpSocket>
#include <filesystem>
#include <functional>
#include <map>
#include <vector>

#include "model/alarmgroup.h"
#include "outlook/calendarfetch.h"
#include "plugins/hostfixture.h"

namespace qv::test {
namespace {

using namespace qv::outlook;

const std::string kAppointmentSync = "QuorvaneOutlook*OutlookAppointmentSynchronizer";

std::string calendar(const std::string& summary) {
    return "BEGIN:VCALENDAR\r\nVERSION:2.0\r\nBEGIN:VEVENT\r\nUID:1\r\nSUMMARY:" + summary +
           "\r\nDTSTART:20260105T100000\r\nRRULE:FREQ=WEEKLY\r\nEND:VEVENT\r\nEND:VCALENDAR\r\n";
}

QByteArray answer(int status, const QByteArray& headers = {}, const QByteArray& body = {}) {
    return "HTTP/1.1 " + QByteArray::number(status) +
           " X\r\nConnection: close\r\nContent-Length: " + QByteArray::number(body.size()) +
           "\r\n" + headers + "\r\n" + body;
}

// Answers each request with what `respond` gives; an empty answer leaves the
// request hanging. Runs on the test's thread: it serves while the plug-in
// waits in its own event loop there, or while the test waits for a worker.
class Server {
  public:
    struct Request {
        QByteArray target;
        std::map<QByteArray, QByteArray> headers;  // names in lower case
    };
    std::function<QByteArray(const Request&)> respond;
    std::vector<Request> requests;

    Server() {
        EXPECT_TRUE(server_.listen(QHostAddress::LocalHost));
        QObject::connect(&server_, &QTcpServer::newConnection, [this] {
            while (QTcpSocket* s = server_.nextPendingConnection()) {
                QObject::connect(s, &QTcpSocket::readyRead, s, [this, s] { read(s); });
            }
        });
    }
    std::string url(const std::string& target) const {
        return "http://127.0.0.1:" + std::to_string(server_.serverPort()) + target;
    }

  private:
    void read(QTcpSocket* s) {
        QByteArray& buffer = buffers_[s];
        buffer += s->readAll();
        const int end = buffer.indexOf("\r\n\r\n");
        if (end < 0) return;
        const QList<QByteArray> lines = buffer.left(end).split('\n');
        buffer.clear();
        Request r;
        r.target = lines.value(0).split(' ').value(1);
        for (qsizetype i = 1; i < lines.size(); ++i) {
            const int colon = lines[i].indexOf(':');
            if (colon > 0)
                r.headers[lines[i].left(colon).trimmed().toLower()] =
                    lines[i].mid(colon + 1).trimmed();
        }
        requests.push_back(r);
        const QByteArray reply = respond(r);
        if (reply.isEmpty()) return;
        s->write(reply);
        s->disconnectFromHost();
    }
    QTcpServer server_;
    std::map<QTcpSocket*, QByteArray> buffers_;
};

struct OnlineFixture {
    int argc = 1;
    char name[16] = "test_outlook";
    char* argv[2] = {name, nullptr};
    QCoreApplication app{argc, argv};
    HostFixture f{{"bin:QuorvaneOutlook.so"}};
    Server server;
    AlarmGroupPtr group;

    explicit OnlineFixture(const std::string& target) {
        for (const char* lng : {"QuorvaneOutlook_English.lng", "QuorvaneOutlook_Deutsch.lng"})
            std::filesystem::copy_file(std::string(QUORVANE_BUILD_PLUGINS) + "/" + lng,
                                       f.folder.file(std::string("PlugIns/") + lng));
        // Portable: the plug-in keeps its copies in this folder.
        EXPECT_TRUE(writeFile(f.folder.file("portable"), ""));
        f.host.loadPlugins();
        group = AlarmGroup::createDefaultAlarmGroup(f.p().ctx);
        group->synchPlugin = kAppointmentSync;
        group->synchSettings = XMLNode::Create("syst");
        group->synchSettings->addString("url", server.url(target));
    }
    std::string sync() {
        std::string error;
        EXPECT_TRUE(group->synchronize(f.p().ctx, &error));
        return error;
    }
    std::string alarmName() const {
        return group->alarms.numberOfElements() == 1 ? group->alarms.elementAt(0)->name : "?";
    }
    std::vector<std::filesystem::path> copies() const {
        std::vector<std::filesystem::path> files;
        std::error_code ec;
        for (const auto& e : std::filesystem::directory_iterator(f.folder.file("calendars"), ec))
            files.push_back(e.path());
        return files;
    }
};

TEST(OnlineCalendar, AddressesThatMayBeFetchedAndHowTheyAreShown) {
    EXPECT_EQ(calendarUrl("webcal://cal.example.org/a.ics").toString().toStdString(),
              "https://cal.example.org/a.ics");
    EXPECT_FALSE(calendarUrl("https://").isValid());
    EXPECT_TRUE(isCalendarAddress(" WEBCAL://x/y"));
    EXPECT_FALSE(isCalendarAddress("/home/me/calendar.ics"));

    const QUrl secure("https://cal.example.org/a"), plain("http://cal.example.org/a"),
        local("http://127.0.0.1:8080/a"), localName("http://localhost/b");
    EXPECT_TRUE(fetchAllowed(secure));
    EXPECT_FALSE(fetchAllowed(plain));
    EXPECT_TRUE(fetchAllowed(local));
    EXPECT_TRUE(fetchAllowed(localName));
    EXPECT_FALSE(fetchAllowed(QUrl("ftp://cal.example.org/a")));
    // Redirects never lead from https to plain http, not even to this computer.
    EXPECT_TRUE(redirectAllowed(secure, QUrl("https://other.example.org/b")));
    EXPECT_FALSE(redirectAllowed(secure, plain));
    EXPECT_FALSE(redirectAllowed(secure, local));
    EXPECT_TRUE(redirectAllowed(local, localName));
    EXPECT_FALSE(redirectAllowed(local, plain));

    // Only the host: the secret lies in the user, path or query.
    EXPECT_EQ(displayAddress("https://me:pw@cal.example.org/private/abc123/basic.ics?token=s3")
                  .toStdString(),
              "cal.example.org/\u2026");
    EXPECT_EQ(displayAddress("webcal://cal.example.org:8443/x").toStdString(),
              "cal.example.org:8443/\u2026");
    EXPECT_EQ(displayAddress("https://cal.example.org").toStdString(), "cal.example.org");
    EXPECT_EQ(displayAddress("https://cal.example.org:443/").toStdString(), "cal.example.org");
    EXPECT_EQ(displayAddress("not an address ?token=s3").toStdString(), "\u2026");
}

TEST(OnlineCalendar, TheGroupFollowsTheAddressAndFallsBackOnItsLastCopy) {
    OnlineFixture o("/private/TOKEN123/basic.ics?key=SECRET9");
    std::string summary = "Review", etag = "\"v1\"";
    o.server.respond = [&](const Server::Request& r) {
        const auto known = r.headers.find("if-none-match");
        if (known != r.headers.end() && known->second == QByteArray::fromStdString(etag))
            return answer(304);
        return answer(200, "ETag: " + QByteArray::fromStdString(etag) + "\r\n",
                      QByteArray::fromStdString(calendar(summary)));
    };
    EXPECT_EQ(o.sync(), "");
    EXPECT_EQ(o.alarmName(), "Review");
    EXPECT_EQ(o.server.requests.back().target, "/private/TOKEN123/basic.ics?key=SECRET9");
    EXPECT_EQ(o.server.requests.back().headers.count("if-none-match"), 0u);
    // The copy: the user's alone, named without the address.
    for (const auto& copy : o.copies()) {
        struct stat st {};
        ASSERT_EQ(::stat(copy.c_str(), &st), 0);
        EXPECT_EQ(st.st_mode & 0777, 0600u) << copy;
        EXPECT_EQ(copy.filename().string().find("TOKEN"), std::string::npos);
    }
    ASSERT_EQ(o.copies().size(), 2u);  // the calendar and its ETag

    // Changed on the server: the group follows.
    summary = "Standup";
    etag = "\"v2\"";
    EXPECT_EQ(o.sync(), "");
    EXPECT_EQ(o.server.requests.back().headers["if-none-match"], "\"v1\"");
    EXPECT_EQ(o.alarmName(), "Standup");

    // Not modified: the copy serves.
    EXPECT_EQ(o.sync(), "");
    EXPECT_EQ(o.server.requests.back().headers["if-none-match"], "\"v2\"");
    EXPECT_EQ(o.alarmName(), "Standup");

    // The server fails or does not answer: the last copy serves, and the
    // message, the same each time for the same cause, names the host only.
    const std::string shown = "127.0.0.1:" + o.server.url("").substr(17) + "/\u2026";
    const std::string copyNote = " The alarm group follows the copy of the calendar fetched last.";
    o.server.respond = [](const Server::Request&) { return answer(500); };
    const std::string failed = o.sync();
    EXPECT_EQ(failed, "The calendar could not be read: " + shown +
                          ": the server answered with error 500." + copyNote);
    EXPECT_EQ(o.sync(), failed);
    EXPECT_EQ(o.alarmName(), "Standup");
    qputenv("QUORVANE_CALENDAR_TIMEOUT_MS", "200");
    o.server.respond = [](const Server::Request&) { return QByteArray(); };
    const std::string silent = o.sync();
    EXPECT_EQ(silent, "The calendar could not be read: " + shown +
                          ": the server did not answer within 1 seconds." + copyNote);
    EXPECT_EQ(o.sync(), silent);
    qunsetenv("QUORVANE_CALENDAR_TIMEOUT_MS");
    // A page that is no calendar does not replace the copy either.
    o.server.respond = [](const Server::Request&) {
        return answer(200, {}, "<html>Sign in</html>");
    };
    EXPECT_EQ(o.sync(), "The calendar could not be read: " + shown +
                            ": The file is not an iCalendar file." + copyNote);
    EXPECT_EQ(o.alarmName(), "Standup");

    // Without a copy the group keeps the alarms it has.
    std::filesystem::remove_all(o.f.folder.file("calendars"));
    const std::string before = o.group->toXML()->toString();
    o.server.respond = [](const Server::Request&) { return answer(404); };
    EXPECT_EQ(o.sync(),
              "The calendar could not be read: " + shown + ": the server answered with error 404.");
    EXPECT_EQ(o.group->toXML()->toString(), before);
    for (const std::string& message : {failed, silent})
        for (const char* secret : {"TOKEN123", "SECRET9", "basic.ics"})
            EXPECT_EQ(message.find(secret), std::string::npos) << message;

    // Plain http to another computer is refused before anything is sent.
    const std::size_t asked = o.server.requests.size();
    o.group->synchSettings->setString("url", "http://cal.example.org/basic.ics?key=SECRET9");
    EXPECT_EQ(o.sync(),
              "The calendar could not be read: cal.example.org/\u2026: only https:// and webcal:// "
              "addresses are fetched; over http:// the calendar's secret address would travel "
              "unprotected.");
    EXPECT_EQ(o.server.requests.size(), asked);
}

TEST(OnlineCalendar, RedirectsAreFollowedOnlyToAddressesThatMayBeFetched) {
    OnlineFixture o("/old?key=SECRET9");
    std::string elsewhere = o.server.url("/new");
    o.server.respond = [&](const Server::Request& r) {
        if (r.target.startsWith("/old"))
            return answer(301, "Location: " + QByteArray::fromStdString(elsewhere) + "\r\n");
        return answer(200, {}, QByteArray::fromStdString(calendar("Moved")));
    };
    EXPECT_EQ(o.sync(), "");
    EXPECT_EQ(o.alarmName(), "Moved");
    ASSERT_EQ(o.server.requests.size(), 2u);
    EXPECT_EQ(o.server.requests[1].target, "/new");

    // Sent on to plain http elsewhere: not followed, the copy serves.
    elsewhere = "http://cal.example.org/new";
    const std::string error = o.sync();
    EXPECT_NE(error.find("the server sent the request on to an address that is not https://; it "
                         "was not followed."),
              std::string::npos)
        << error;
    EXPECT_EQ(error.find("SECRET9"), std::string::npos);
    EXPECT_EQ(o.server.requests.size(), 3u);
    EXPECT_EQ(o.alarmName(), "Moved");
}

// On the program's worker thread, as at start and every half hour: the
// failure is told once while it lasts, and again when it comes back.
TEST(OnlineCalendar, AFailureIsToldOncePerCause) {
    OnlineFixture o("/cal.ics?key=SECRET9");
    int status = 200;
    o.server.respond = [&](const Server::Request&) {
        return answer(status, {}, QByteArray::fromStdString(calendar("Review")));
    };
    o.f.p().alarmGroups.addElement(o.group);
    auto synchronise = [&] {
        ASSERT_TRUE(o.group->startSynchronization(o.f.p().ctx));
        while (o.group->synchronizing())
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    };
    synchronise();
    EXPECT_EQ(o.alarmName(), "Review");
    EXPECT_TRUE(o.f.ui.notices.empty());
    status = 503;
    synchronise();
    synchronise();
    ASSERT_EQ(o.f.ui.notices.size(), 1u);
    EXPECT_NE(o.f.ui.notices[0].find("error 503"), std::string::npos) << o.f.ui.notices[0];
    EXPECT_EQ(o.alarmName(), "Review");
    status = 200;
    synchronise();
    status = 503;
    synchronise();
    EXPECT_EQ(o.f.ui.notices.size(), 2u);
}

}  // namespace
}  // namespace qv::test
