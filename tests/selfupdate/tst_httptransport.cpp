#include "LoopbackHttpServer.h"
#include "selfupdate/HttpTransport.h"

#include <QElapsedTimer>
#include <QtTest>

#include <atomic>
#include <thread>

using selfupdate::HttpResponse;
using selfupdate::HttpTransport;
using TestSupport::HttpReply;
using TestSupport::HttpRequest;
using TestSupport::LoopbackHttpServer;
using TestSupport::patternBytes;

namespace {

constexpr int ConnectMs = 2000;
constexpr int ReadMs = 2000;
constexpr int StallReadMs = 300;

// Transport failures read in the platform's own words: WinHTTP's on Windows, curl's elsewhere.
QString platformText(const char* windows, const char* curl) {
#ifdef _WIN32
    Q_UNUSED(curl);
    return QString::fromLatin1(windows);
#else
    Q_UNUSED(windows);
    return QString::fromLatin1(curl);
#endif
}

std::size_t sizeParameter(const std::string& target) {
    const std::size_t at = target.find("n=");
    return at == std::string::npos ? 0 : std::size_t(std::stoull(target.substr(at + 2)));
}

bool startsWith(const std::string& text, const char* prefix) {
    return text.rfind(prefix, 0) == 0;
}

HttpReply route(const HttpRequest& request) {
    const std::string& t = request.target;
    HttpReply reply;
    if (startsWith(t, "/data") || startsWith(t, "/stream")) {
        reply.body = patternBytes(sizeParameter(t));
        reply.sendLength = startsWith(t, "/data");
    } else if (t == "/missing") {
        reply.status = 404;
        reply.body = "nope";
    } else if (t == "/cached") {
        reply.status = 304;
    } else if (startsWith(t, "/r/")) {
        const int left = std::stoi(t.substr(3));
        if (left == 0) {
            reply.body = patternBytes(1000);
        } else {
            reply.status = 302;
            reply.body = "moved";
            reply.headers.push_back({"Location", "http://" + request.headers.at("host") + "/r/" +
                                                     std::to_string(left - 1)});
        }
    } else if (t == "/relative") {
        reply.status = 301;
        reply.headers.push_back({"Location", "/data?n=10"});
    } else if (t == "/rel/sub") {
        reply.status = 302;
        reply.headers.push_back({"Location", "../data?n=20"});
    } else if (t == "/schemeless") {
        reply.status = 302;
        reply.headers.push_back({"Location", "//" + request.headers.at("host") + "/data?n=30"});
    } else if (t == "/nolocation") {
        reply.status = 302;
    } else if (t == "/stall-head") {
        reply.stallBeforeHeadersMs = 3000;
        reply.body = "late";
    } else if (t == "/stall-body") {
        reply.body = patternBytes(40000);
        reply.stallAfterBytes = 20000;
        reply.stallMs = 3000;
    } else {
        reply.status = 404;
    }
    return reply;
}

struct Stream {
    bool ok = false;
    std::string error;
    std::string body;
    std::size_t largestChunk = 0;
    bool totalsConsistent = true;
    std::int64_t total = -2;
};

Stream download(HttpTransport& transport, const std::string& url, int readMs = ReadMs,
                const std::atomic<bool>* cancel = nullptr) {
    Stream s;
    const auto onChunk = [&](const void* data, std::size_t size, std::int64_t total) {
        if (s.total != -2 && s.total != total)
            s.totalsConsistent = false;
        s.total = total;
        s.largestChunk = std::max(s.largestChunk, size);
        s.body.append(static_cast<const char*>(data), size);
        return true;
    };
    s.ok = transport.downloadStream(url, onChunk, ConnectMs, readMs, cancel, &s.error);
    return s;
}

} // namespace

class HttpTransportTest : public QObject {
    Q_OBJECT

private slots:
    void answers_data() {
        QTest::addColumn<QString>("path");
        QTest::addColumn<int>("status");
        QTest::addColumn<int>("bodySize");
        QTest::addColumn<qint64>("total");
        QTest::addColumn<QString>("error");
        const QString none;
        QTest::newRow("200 with length") << "/data?n=40000" << 200 << 40000 << 40000LL << none;
        QTest::newRow("200 without length") << "/stream?n=40000" << 200 << 40000 << -1LL << none;
        QTest::newRow("404") << "/missing" << 404 << 0 << 0LL
                             << "HTTP server returned error status 404";
        QTest::newRow("304") << "/cached" << 304 << 0 << 0LL
                             << "HTTP server returned error status 304";
        QTest::newRow("four redirects") << "/r/4" << 200 << 1000 << 1000LL << none;
        QTest::newRow("five redirects") << "/r/5" << 302 << 0 << 0LL << none;
        QTest::newRow("absolute-path location") << "/relative" << 200 << 10 << 10LL << none;
        QTest::newRow("path-relative location") << "/rel/sub" << 200 << 20 << 20LL << none;
        QTest::newRow("scheme-relative location") << "/schemeless" << 200 << 30 << 30LL << none;
        QTest::newRow("redirect without location")
            << "/nolocation" << 302 << 0 << 0LL << "HTTP server returned error status 302";
    }

    // get and downloadStream run the same procedure; each is checked against the same answer.
    void answers() {
        QFETCH(QString, path);
        QFETCH(int, status);
        QFETCH(int, bodySize);
        QFETCH(qint64, total);
        QFETCH(QString, error);
        LoopbackHttpServer server(route);
        QVERIFY(server.isListening());
        const auto transport = HttpTransport::createDefault();
        const std::string url = server.url(path.toStdString());
        const bool success = status == 200;

        const HttpResponse response = transport->get(url, ConnectMs, ReadMs, nullptr);
        QCOMPARE(response.statusCode, status);
        QCOMPARE(QString::fromStdString(response.error), error);
        QCOMPARE(response.body.size(), std::size_t(bodySize));
        QVERIFY(response.body == patternBytes(response.body.size()));

        const Stream s = download(*transport, url);
        QCOMPARE(s.ok, success);
        QCOMPARE(QString::fromStdString(s.error), error);
        QCOMPARE(s.body.size(), std::size_t(bodySize));
        QVERIFY(s.body == patternBytes(s.body.size()));
        QVERIFY(s.largestChunk <= HttpTransport::ChunkSize);
        QVERIFY(s.totalsConsistent);
        if (success)
            QCOMPARE(qint64(s.total), total);
    }

    void everyRequestIsAPlainGetThatBypassesCaches() {
        LoopbackHttpServer server(route);
        const HttpResponse response =
            HttpTransport::createDefault()->get(server.url("/r/2"), ConnectMs, ReadMs, nullptr);
        QCOMPARE(response.statusCode, 200);
        const auto requests = server.requests();
        QCOMPARE(int(requests.size()), 3);
        for (const HttpRequest& request : requests) {
            QCOMPARE(request.method, std::string("GET"));
            QCOMPARE(request.headers.at("user-agent"), std::string("selfupdate/1.0"));
            QCOMPARE(request.headers.at("cache-control"), std::string("no-cache"));
            QCOMPARE(request.headers.at("pragma"), std::string("no-cache"));
        }
    }

    void chunkCallbackAborts() {
        LoopbackHttpServer server(route);
        int calls = 0;
        std::string error;
        const bool ok = HttpTransport::createDefault()->downloadStream(
            server.url("/data?n=100000"),
            [&](const void*, std::size_t, std::int64_t) { return ++calls < 1; }, ConnectMs, ReadMs,
            nullptr, &error);
        QVERIFY(!ok);
        QCOMPARE(calls, 1);
        QCOMPARE(error, std::string("Stream chunk callback requested abort"));
    }

    void cancelBeforeTheCallSendsNothing() {
        LoopbackHttpServer server(route);
        const auto transport = HttpTransport::createDefault();
        std::atomic<bool> cancel{true};
        const HttpResponse response =
            transport->get(server.url("/data?n=10"), ConnectMs, ReadMs, &cancel);
        QCOMPARE(response.statusCode, 0);
        QCOMPARE(response.error, std::string("Operation cancelled"));
        const Stream s = download(*transport, server.url("/data?n=10"), ReadMs, &cancel);
        QVERIFY(!s.ok);
        QCOMPARE(s.error, std::string("Operation cancelled"));
        QVERIFY(server.requests().empty());
    }

    void cancelDuringTheBody() {
        LoopbackHttpServer server(route);
        const auto transport = HttpTransport::createDefault();
        // Set between chunks: the next chunk is not delivered.
        std::atomic<bool> cancel{false};
        int calls = 0;
        std::string error;
        const bool ok = transport->downloadStream(
            server.url("/data?n=100000"),
            [&](const void*, std::size_t, std::int64_t) {
                ++calls;
                cancel = true;
                return true;
            },
            ConnectMs, ReadMs, &cancel, &error);
        QVERIFY(!ok);
        QCOMPARE(calls, 1);
        QCOMPARE(error, std::string("Download cancelled"));

        // Set from another thread while the server stalls: seen well before the read timeout.
        std::atomic<bool> later{false};
        std::thread canceller([&] {
            std::this_thread::sleep_for(std::chrono::milliseconds(200));
            later = true;
        });
        QElapsedTimer timer;
        timer.start();
        const HttpResponse response =
            transport->get(server.url("/stall-body"), ConnectMs, 10000, &later);
        canceller.join();
        QVERIFY(timer.elapsed() < 5000);
        QCOMPARE(response.statusCode, 0);
        QCOMPARE(response.error, std::string("Download cancelled"));
    }

    void stalledServerHitsTheReadTimeout_data() {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("error");
        QTest::newRow("before the headers")
            << "/stall-head"
            << platformText("WinHttpReceiveResponse failed: 28",
                            "No response: Timeout was reached (curl error 28)");
        QTest::newRow("inside the body")
            << "/stall-body"
            << platformText("WinHttpReadData failed: 28",
                            "Download interrupted: Timeout was reached (curl error 28)");
    }

    void stalledServerHitsTheReadTimeout() {
        QFETCH(QString, path);
        QFETCH(QString, error);
        LoopbackHttpServer server(route);
        QElapsedTimer timer;
        timer.start();
        const HttpResponse response = HttpTransport::createDefault()->get(
            server.url(path.toStdString()), ConnectMs, StallReadMs, nullptr);
        QVERIFY2(timer.elapsed() < 2500, "the read timeout did not end the transfer");
        QCOMPARE(response.statusCode, 0);
        QCOMPARE(QString::fromStdString(response.error), error);
    }

    void unreachableOrUnusableUrls_data() {
        QTest::addColumn<QString>("url");
        QTest::addColumn<QString>("error");
        QTest::newRow("nothing listening")
            << QString("http://127.0.0.1:%1/x").arg(LoopbackHttpServer::closedPort())
            << platformText("WinHttpSendRequest failed: 7",
                            "Could not connect: Couldn't connect to server (curl error 7)");
        const QString badUrl =
            platformText("WinHttpCrackUrl failed for URL", "Not an absolute http(s) URL");
        QTest::newRow("empty") << "" << badUrl;
        QTest::newRow("relative") << "/version.json" << badUrl;
        QTest::newRow("other scheme") << "file:///etc/passwd" << badUrl;
    }

    void unreachableOrUnusableUrls() {
        QFETCH(QString, url);
        QFETCH(QString, error);
        const HttpResponse response =
            HttpTransport::createDefault()->get(url.toStdString(), ConnectMs, ReadMs, nullptr);
        QCOMPARE(response.statusCode, 0);
        QCOMPARE(QString::fromStdString(response.error), error);
    }

    void getRefusesBodiesOverOneMebibyte_data() {
        QTest::addColumn<QString>("path");
        QTest::addColumn<bool>("accepted");
        const int limit = int(HttpTransport::MaxGetBodyBytes);
        QTest::newRow("exactly the limit") << QString("/data?n=%1").arg(limit) << true;
        QTest::newRow("one byte over") << QString("/data?n=%1").arg(limit + 1) << false;
        QTest::newRow("over, without length") << QString("/stream?n=%1").arg(limit + 1) << false;
        QTest::newRow("far over") << QString("/stream?n=%1").arg(8 * limit) << false;
    }

    void getRefusesBodiesOverOneMebibyte() {
        QFETCH(QString, path);
        QFETCH(bool, accepted);
        LoopbackHttpServer server(route);
        const HttpResponse response = HttpTransport::createDefault()->get(
            server.url(path.toStdString()), ConnectMs, ReadMs, nullptr);
        QCOMPARE(response.statusCode, accepted ? 200 : 0);
        QCOMPARE(response.body.size(), accepted ? HttpTransport::MaxGetBodyBytes : 0);
        QCOMPARE(response.error,
                 accepted ? std::string() : std::string("Response body exceeds 1048576 bytes"));
    }

    // Both transports follow redirects by hand and ask this before every hop.
    void redirectPolicy_data() {
        QTest::addColumn<QString>("from");
        QTest::addColumn<QString>("to");
        QTest::addColumn<bool>("allowed");
        QTest::newRow("https to http") << "https://a/x"
                                       << "http://b/pkg.exe" << false;
        QTest::newRow("https to HTTP") << "https://a/x"
                                       << "HTTP://b/pkg.exe" << false;
        QTest::newRow("https to ftp") << "https://a/x"
                                      << "ftp://b/pkg.exe" << false;
        QTest::newRow("https to https") << "https://a/x"
                                        << "HTTPS://b/pkg.exe" << true;
        QTest::newRow("https to relative") << "https://a/x"
                                           << "/pkg?u=http://b" << true;
        QTest::newRow("http to http") << "http://a/x"
                                      << "http://b/pkg.exe" << true;
        QTest::newRow("http to https") << "http://a/x"
                                       << "https://b/pkg.exe" << true;
    }

    void redirectPolicy() {
        QFETCH(QString, from);
        QFETCH(QString, to);
        QFETCH(bool, allowed);
        QCOMPARE(HttpTransport::isRedirectAllowed(from.toStdString(), to.toStdString()), allowed);
    }
    // Relative references are resolved against the URL that answered, as browsers do.
    void locationsResolveAgainstTheRequest_data() {
        QTest::addColumn<QString>("base");
        QTest::addColumn<QString>("location");
        QTest::addColumn<QString>("resolved");
        const QString base = "https://h:8443/a/b/c?q=1#f";
        QTest::newRow("absolute") << base << "http://x/y"
                                  << "http://x/y";
        QTest::newRow("scheme-relative") << base << "//cdn/p?z"
                                         << "https://cdn/p?z";
        QTest::newRow("absolute path") << base << "/pkg.bin?t=2"
                                       << "https://h:8443/pkg.bin?t=2";
        QTest::newRow("sibling") << base << "pkg.bin"
                                 << "https://h:8443/a/b/pkg.bin";
        QTest::newRow("parent") << base << "../../pkg.bin#x"
                                << "https://h:8443/pkg.bin#x";
        QTest::newRow("cannot climb above the root") << base << "../../../../etc/x"
                                                     << "https://h:8443/etc/x";
        QTest::newRow("dot segments in the middle") << base << "./d/./e/../f"
                                                    << "https://h:8443/a/b/d/f";
        QTest::newRow("ends in a folder") << base << "d/.."
                                          << "https://h:8443/a/b/";
        QTest::newRow("query only") << base << "?n=2"
                                    << "https://h:8443/a/b/c?n=2";
        QTest::newRow("base without a path") << "http://h"
                                             << "pkg"
                                             << "http://h/pkg";
        QTest::newRow("relative base stays as given") << "/x/y"
                                                      << "z"
                                                      << "z";
    }

    void locationsResolveAgainstTheRequest() {
        QFETCH(QString, base);
        QFETCH(QString, location);
        QFETCH(QString, resolved);
        QCOMPARE(QString::fromStdString(
                     HttpTransport::resolveLocation(base.toStdString(), location.toStdString())),
                 resolved);
    }
};

QTEST_GUILESS_MAIN(HttpTransportTest)
#include "tst_httptransport.moc"
