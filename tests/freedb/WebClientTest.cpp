// The HTTP client against the loopback test server: request bytes, status rules, redirects,
// bounds, cancel, busy state and the download counter.
#include "freedb/WebClient.h"

#include "freedb/FreedbTexts.h"
#include "shell/core/AppState.h"
#include "shell/core/Settings.h"
#include "shell/core/Shared.h"
#include "tests/common/TestSupport.h"
#include "tests/freedb/FreedbServer.h"

#include <QElapsedTimer>
#include <QTcpServer>
#include <QTimer>
#include <gtest/gtest.h>

using namespace tunora;
using namespace tunora::test;

namespace {

class WebClientTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(server.running());
        server.useAsProxy();
        WebClient::instance().resetReceivedBytes();
        SetBusy(false);
    }
    void TearDown() override
    {
        EXPECT_EQ(WebClient::instance().state(), 0) << "socket left open";
        WebClient::instance().setStallTimeoutMs(WebClient::kDefaultStallMs);
    }

    QString get(QString url) { return GetWebSite(url); }
    QString raw(const QByteArray& bytes)
    {
        return get("http://www.gnudb.org/raw?hex=" + QString::fromLatin1(bytes.toHex()));
    }

    TempAppEnv env;
    FreedbServer server{env.root()};
};

const QByteArray kReferer = "Referer: http://www.tunora.example.org/\r\n";

} // namespace

TEST(WebClientPure, PortsAndHosts)
{
    EXPECT_EQ(PortFromSetting("8080"), 8080);
    EXPECT_EQ(PortFromSetting(" 8080 "), 8080);
    EXPECT_EQ(PortFromSetting("40000"), 40000); // above the old 16-bit limit
    EXPECT_EQ(PortFromSetting("65535"), 65535);
    for (const char* bad : {"", "abc", "0", "-5", "65536", "99999999999999999999"})
        EXPECT_EQ(PortFromSetting(bad), 80) << bad;
    EXPECT_EQ(PortFromSetting("3128abc"), 3128); // the leading number counts

    EXPECT_EQ(UrlHost("http://server.example/x/y"), "server.example");
    EXPECT_EQ(UrlHost("http://server.example:8080"), "server.example:8080");
    EXPECT_EQ(UrlHost("https://h"), "h");

    struct Row {
        const char* host;
        const char* name;
        quint16 port;
    } rows[] = {{"h", "h", 0},          {"h:8080", "h", 8080},   {"h:", "h", 0},          {"h:0", "h", 0},
                {"h:99999", "h", 0},    {"h:8o", "h", 0},        {"[::1]:81", "::1", 81}, {"[::1]", "::1", 0},
                {"127.0.0.1:5", "127.0.0.1", 5}};
    for (const Row& row : rows) {
        quint16 port = 1;
        EXPECT_EQ(HostName(row.host, &port), row.name) << row.host;
        EXPECT_EQ(port, row.port) << row.host;
    }
}

TEST_F(WebClientTest, RequestThroughProxyNamesTheWholeUrlAndBareHostsGainASlash)
{
    QString url = "  http://www.gnudb.org  ";
    GetWebSite(url); // the server has no page "/": the answer is a 404, the request is what counts
    EXPECT_EQ(url, "http://www.gnudb.org/");
    ASSERT_EQ(server.requests().size(), 1);
    url = "http://www.gnudb.org/search/www.gnudb.org";
    GetWebSite(url); // a path that ends with the host's name keeps its form
    EXPECT_EQ(url, "http://www.gnudb.org/search/www.gnudb.org");
    ASSERT_EQ(server.requests().size(), 2);
    server.clearLog();
    url = "http://www.gnudb.org";
    GetWebSite(url);
    EXPECT_EQ(server.requests().at(0), QByteArray("GET http://www.gnudb.org/ HTTP/1.0\r\n"
                                                  "Accept: */*\r\n"
                                                  "User-Agent: Tunora\r\n"
                                                  "Host: www.gnudb.org\r\n") +
                                           kReferer + "\r\n");
}

TEST_F(WebClientTest, DirectRequestGoesToTheUrlsHostOnTheHttpPort)
{
    SetSetting("UseProxy", "0");
    SetSetting("HTTPPort", QString::number(server.port()));
    const QString answer = get("http://127.0.0.1/echo");
    EXPECT_TRUE(answer.startsWith("HTTP/1.0 200 OK\r\n"));
    EXPECT_TRUE(answer.endsWith("\r\n\r\nhello"));
    ASSERT_EQ(server.requests().size(), 1);
    EXPECT_EQ(server.requests().at(0), QByteArray("GET http://127.0.0.1/echo HTTP/1.0\r\n"
                                                  "Accept: */*\r\n"
                                                  "User-Agent: Tunora\r\n"
                                                  "Host: 127.0.0.1\r\n") +
                                           kReferer + "\r\n");

    // Settings are read at every call: the proxy is back for the next one.
    SetSetting("UseProxy", " 1 ");
    SetSetting("ProxyPort", " " + QString::number(server.port()) + " ");
    EXPECT_FALSE(get("http://www.gnudb.org/echo").isEmpty());
}

TEST_F(WebClientTest, BadAddressesFailWithoutConnecting)
{
    for (const char* url : {"ftp://www.gnudb.org/echo", "http:/", "https:/", "https://", "HTTP://www.gnudb.org/echo",
                            "", "www.gnudb.org/echo", "http://www.gnudb.org/echo\r\nX-Injected: 1"})
        EXPECT_TRUE(get(url).isEmpty()) << url;
    EXPECT_TRUE(server.requests().isEmpty());

    // "https://" is fetched exactly like "http://".
    EXPECT_TRUE(get("https://www.gnudb.org/echo").endsWith("hello"));
    EXPECT_EQ(server.requestLines(), QStringList{"GET https://www.gnudb.org/echo HTTP/1.0"});
}

TEST_F(WebClientTest, StatusRules)
{
    struct Row {
        QByteArray response;
        bool accepted;
    } rows[] = {
        {"HTTP/1.0 200 OK\r\n\r\nbody", true},
        {"HTTP/1.1 200\r\n\r\nbody", true},
        {"HTTP/1.0 404 Not Found\r\n\r\nmissing", false},
        {"HTTP/1.0 500 Internal Server Error\r\n\r\n", false},
        {"HTTP/1.0 404 Not Found\n\nno CR anywhere", true}, // no status line at all
        {"HTTP/1.0 30\r\n\r\nshort code", true},            // status text of 3 characters
        {"SHORT\r\n\r\nbody", true},                       // status line of 8 characters or fewer
        {"HTTP/1.0 302 Found\r\n\r\nno location", false},
        {"HTTP/1.0 302 Found\r\nLocation:\r\n\r\n", false},
        {"HTTP/1.0 302 Found\r\nLocation: http://www.gnudb.org/echo", false}, // no line end after it
    };
    for (const Row& row : rows) {
        const QString answer = raw(row.response);
        if (row.accepted)
            EXPECT_EQ(answer, QString::fromLatin1(row.response)) << row.response.constData();
        else
            EXPECT_TRUE(answer.isEmpty()) << row.response.constData();
    }
    EXPECT_TRUE(get("http://www.gnudb.org/404").isEmpty());
    EXPECT_EQ(WebClient::instance().lastRefusal(), "HTTP/1.0 404 Not Found");
}

TEST_F(WebClientTest, RedirectsAreFollowedAndAChainIsBounded)
{
    struct Row {
        const char* code;
        const char* to;
        bool followed;
        QString notice;
    } rows[] = {
        {"301", "http://www.gnudb.org/echo", true, ""},
        {"303", "http://www.gnudb.org/echo", true, ""},
        {"307", "http://www.gnudb.org/echo", true, ""},
        {"308", "http://www.gnudb.org/echo", true, ""},
        {"300", "http://www.gnudb.org/echo", false, ""},
        {"304", "http://www.gnudb.org/echo", false, ""},
        // A move to https is not fetched in plain text, and the user is told why.
        {"301", "https://www.gnudb.org/echo", false, freedbtext::MovedToHttps("https://www.gnudb.org/echo")},
        {"302", "HTTPS://www.gnudb.org/echo", false, freedbtext::MovedToHttps("HTTPS://www.gnudb.org/echo")},
    };
    for (const Row& row : rows) {
        server.clearLog();
        const QString answer = get(QString("http://www.gnudb.org/redirect?code=%1&to=%2").arg(row.code, row.to));
        EXPECT_EQ(answer.endsWith("hello"), row.followed) << row.code << row.to;
        EXPECT_EQ(server.requests().size(), row.followed ? 2 : 1) << row.code << row.to;
        EXPECT_EQ(WebClient::instance().lastNotice(), row.notice);
    }

    // Extra header lines follow a redirect to the same host only.
    for (const QString to : {"http://www.gnudb.org/echo", "http://other.example/echo"}) {
        server.clearLog();
        QString url = "http://www.gnudb.org/redirect?code=302&to=" + to;
        EXPECT_TRUE(WebClient::instance().GetWebSite(url, "User-Email: me@example.org\r\n").endsWith("hello"));
        EXPECT_EQ(server.requests().value(1).contains("User-Email"), to.contains("gnudb")) << to.toStdString();
    }

    server.clearLog();
    // Every "Location:" of the server carries a space before the address.
    EXPECT_TRUE(get("http://www.gnudb.org/chain/3").endsWith("end of chain"));
    EXPECT_EQ(server.requestLines(), QStringList({"GET http://www.gnudb.org/chain/3 HTTP/1.0",
                                                  "GET http://www.gnudb.org/chain/2 HTTP/1.0",
                                                  "GET http://www.gnudb.org/chain/1 HTTP/1.0",
                                                  "GET http://www.gnudb.org/chain/0 HTTP/1.0"}));


    server.clearLog();
    EXPECT_FALSE(get("http://www.gnudb.org/chain/10").isEmpty());
    EXPECT_TRUE(get("http://www.gnudb.org/chain/11").isEmpty());

    server.clearLog();
    EXPECT_TRUE(get("http://www.gnudb.org/loop").isEmpty());
    EXPECT_EQ(server.requests().size(), WebClient::kMaxRedirects + 1);
    EXPECT_FALSE(IsBusy());
}

TEST_F(WebClientTest, APortInTheAddressOrItsRedirectIsTheOneConnectedTo)
{
    SetSetting("UseProxy", "0");
    SetSetting("HTTPPort", "1"); // nothing listens there: only the addresses' own port can work
    const QString here = QString("http://127.0.0.1:%1").arg(server.port());
    EXPECT_TRUE(get(here + "/redirect?code=302&to=" + here + "/echo").endsWith("hello"));
    EXPECT_EQ(server.requestLines(), QStringList({"GET " + here + "/redirect?code=302&to=" + here + "/echo HTTP/1.0",
                                                  "GET " + here + "/echo HTTP/1.0"}));
    EXPECT_TRUE(server.requests().at(1).contains("\r\nHost: 127.0.0.1:" + QByteArray::number(server.port()) + "\r\n"));
}

TEST_F(WebClientTest, ASilentServerFailsAfterTheStallTimeout)
{
    WebClient::instance().setStallTimeoutMs(1000);
    QElapsedTimer t;
    t.start();
    EXPECT_TRUE(get("http://www.gnudb.org/~cddb/cddb.cgi?cmd=x&hello=silent+h+c+1&proto=6").isEmpty());
    EXPECT_LT(t.elapsed(), 10000);
    EXPECT_GE(t.elapsed(), 900);
    EXPECT_TRUE(WebClient::instance().lastFailure().contains("no answer from the server"));
    EXPECT_EQ(WebClient::instance().lastNotice(), freedbtext::NoAnswer(1));
    EXPECT_FALSE(WebClient::instance().lastCancelled());
    // A slow server that keeps sending is not silent: the drip outlasts the timeout.
    server.clearLog();
    // Cancelled once the drip (a byte every 50 ms) has lasted half again the stall timeout.
    WebClient::instance().resetReceivedBytes();
    QTimer drip;
    QObject::connect(&drip, &QTimer::timeout, [] {
        if (WebClient::instance().receivedBytes() >= qint64(sizeof "HTTP/1.0 200 OK\r\n\r\n") - 1 + 30)
            SetCancelRequested(true);
    });
    drip.start(20);
    EXPECT_TRUE(get("http://www.gnudb.org/drip").isEmpty());
    EXPECT_TRUE(WebClient::instance().lastCancelled());
    EXPECT_TRUE(WebClient::instance().lastNotice().isEmpty());
    SetCancelRequested(false);
}

TEST_F(WebClientTest, ResponsesAreBoundedAndTheSocketIsClosed)
{
    const qint64 header = QByteArray("HTTP/1.0 200 OK\r\n\r\n").size();
    const QString fits = get(QString("http://www.gnudb.org/big?size=%1").arg(WebClient::kMaxResponseBytes - header));
    EXPECT_EQ(fits.size(), WebClient::kMaxResponseBytes);

    EXPECT_TRUE(get(QString("http://www.gnudb.org/big?size=%1").arg(WebClient::kMaxResponseBytes - header + 1)).isEmpty());
    EXPECT_EQ(WebClient::instance().state(), 0);

    EXPECT_TRUE(get("http://www.gnudb.org/endless").isEmpty());
    EXPECT_EQ(WebClient::instance().state(), 0);
    EXPECT_FALSE(IsBusy());
}

TEST_F(WebClientTest, CancelWhileDataArrivesEndsTheCallEmpty)
{
    bool busyDuring = false;
    QString nested = "unset";
    QTimer::singleShot(200, [&] {
        // A second request while this one waits must not take its socket.
        QString other = "http://www.gnudb.org/echo";
        nested = GetWebSite(other);
    });
    QTimer::singleShot(400, [&] {
        busyDuring = IsBusy();
        SetCancelRequested(true); // what cancel_btn does
    });
    QElapsedTimer t;
    t.start();
    EXPECT_TRUE(get("http://www.gnudb.org/drip").isEmpty());
    EXPECT_LT(t.elapsed(), 20000); // the drip lasts a minute
    EXPECT_TRUE(busyDuring);
    EXPECT_TRUE(nested.isEmpty());
    EXPECT_EQ(server.requests().size(), 1);
    EXPECT_FALSE(IsBusy());
    EXPECT_GT(WebClient::instance().receivedBytes(), 0);
    SetCancelRequested(false);
}

TEST_F(WebClientTest, BusyIsRestoredOnEveryPath)
{
    SetBusy(true); // a search that holds the busy state around its fetch
    get("http://www.gnudb.org/echo");
    EXPECT_TRUE(IsBusy());
    get("ftp://nowhere");
    EXPECT_TRUE(IsBusy());
    SetBusy(false);
    get("http://www.gnudb.org/404");
    EXPECT_FALSE(IsBusy());
}

TEST_F(WebClientTest, RefusedConnectionFailsQuickly)
{
    quint16 closed;
    {
        QTcpServer s; // closed again at once: nothing listens on its port
        ASSERT_TRUE(s.listen(QHostAddress::LocalHost, 0));
        closed = s.serverPort();
    }
    SetSetting("ProxyPort", QString::number(closed));
    EXPECT_TRUE(get("http://www.gnudb.org/echo").isEmpty());
    EXPECT_FALSE(WebClient::instance().lastFailure().isEmpty());
    EXPECT_FALSE(IsBusy());
}

TEST_F(WebClientTest, DownloadCounterAddsUpUntilReset)
{
    const QByteArray response = "HTTP/1.0 200 OK\r\n\r\n" + QByteArray(2048, 'a');
    QString status; // what a status line shows
    QObject guard;
    QObject::connect(&WebClient::instance(), &WebClient::statusChanged, &guard, [&](const QString& t) { status = t; });
    raw(response);
    EXPECT_EQ(WebClient::instance().receivedBytes(), response.size());
    EXPECT_EQ(status, "Downloading : 2.02 Kb"); // 2067 / 1024
    raw(response);
    EXPECT_EQ(WebClient::instance().receivedBytes(), 2 * response.size());
    WebClient::instance().resetReceivedBytes();
    EXPECT_EQ(WebClient::instance().receivedBytes(), 0);
}

TEST_F(WebClientTest, ReceivedBytesAreUtf8ElseWindows1252)
{
    EXPECT_TRUE(raw("HTTP/1.0 200 OK\r\n\r\ncaf\xc3\xa9").endsWith(QString::fromUtf8("caf\xc3\xa9")));
    EXPECT_TRUE(raw("HTTP/1.0 200 OK\r\n\r\ncaf\xe9 \x80").endsWith(QString::fromUtf8("caf\xc3\xa9 \xe2\x82\xac")));
}
