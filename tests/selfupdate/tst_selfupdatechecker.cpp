#include "LoopbackHttpServer.h"
#include "selfupdate/HttpTransport.h"
#include "selfupdate/SelfUpdateChecker.h"
#include "selfupdate/UpdateConfig.h"
#include "selfupdate/UpdateInstaller.h"

#include <QElapsedTimer>
#include <QtTest>

#include <atomic>
#include <thread>

using namespace selfupdate;
using TestSupport::HttpReply;
using TestSupport::HttpRequest;
using TestSupport::LoopbackHttpServer;

Q_DECLARE_METATYPE(selfupdate::UpdatePhase)

namespace {

// A refused connection in the transport's own words: WinHTTP's on Windows, curl's elsewhere.
#ifdef _WIN32
const std::string ConnectRefusedText = "WinHttpSendRequest failed: 7";
#else
const std::string ConnectRefusedText =
    "Could not connect: Couldn't connect to server (curl error 7)";
#endif

const std::string Digest(64, 'a');

std::string catalog(const std::string& id, const std::string& name, int code) {
    return R"({"apps": {")" + id + R"(": {"applicationId": ")" + id + R"(", "versionName": ")" +
           name + R"(", "versionCode": )" + std::to_string(code) +
           R"(, "packageUrl": "pkg/setup.bin", "sha256": ")" + Digest + R"("}}})";
}

CheckerConfig config(const std::string& url) {
    CheckerConfig c;
    c.applicationId = "com.kadmir.tessaryn";
    c.currentVersionName = "1.1.0";
    c.currentVersionCode = 10100;
    c.manifestUrl = url;
    c.connectTimeoutMs = 2000;
    c.readTimeoutMs = 2000;
    return c;
}

// Answers with a complete catalog but sets the cancel flag on the way, as a cancel arriving
// just as the response completes would.
class CancellingTransport : public HttpTransport {
public:
    HttpResponse get(const std::string&, int, int, const std::atomic<bool>* cancel) override {
        const_cast<std::atomic<bool>*>(cancel)->store(true);
        HttpResponse r;
        r.statusCode = 200;
        r.body = catalog("com.kadmir.tessaryn", "9.0.0", 90000);
        return r;
    }
    bool downloadStream(const std::string&, const ChunkCallback&, int, int,
                        const std::atomic<bool>*, std::string*) override {
        return false;
    }
};

} // namespace

class SelfUpdateCheckerTest : public QObject {
    Q_OBJECT

private slots:
    void outcomes_data() {
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("body");
        QTest::addColumn<UpdatePhase>("phase");
        QTest::addColumn<QString>("error");
        const std::string id = "com.kadmir.tessaryn";
        const QString none;
        QTest::newRow("same name and code")
            << 200 << QString::fromStdString(catalog(id, "1.1.0", 10100)) << UpdatePhase::UpToDate
            << none;
        QTest::newRow("same name, newer build")
            << 200 << QString::fromStdString(catalog(id, "1.1.0", 10101))
            << UpdatePhase::UpdateAvailable << none;
        QTest::newRow("newer name") << 200 << QString::fromStdString(catalog(id, "1.2.0", 10200))
                                    << UpdatePhase::UpdateAvailable << none;
        QTest::newRow("older name") << 200 << QString::fromStdString(catalog(id, "1.0.9", 99999))
                                    << UpdatePhase::UpToDate << none;
        QTest::newRow("404") << 404 << "gone" << UpdatePhase::Error
                             << "Failed to fetch update manifest from %1: HTTP 404 (HTTP server "
                                "returned error status 404)";
        QTest::newRow("malformed")
            << 200 << "{" << UpdatePhase::Error << "Unterminated object in JSON";
        QTest::newRow("other app only")
            << 200 << QString::fromStdString(catalog("com.other", "5.0.0", 50000))
            << UpdatePhase::Error << "Application 'com.kadmir.tessaryn' not found in catalog";
    }

    // The configured folder URL fetches its "version.json"; the result carries the installed
    // version from the configuration.
    void outcomes() {
        QFETCH(int, status);
        QFETCH(QString, body);
        QFETCH(UpdatePhase, phase);
        QFETCH(QString, error);
        LoopbackHttpServer server([&](const HttpRequest&) {
            HttpReply reply;
            reply.status = status;
            reply.body = body.toStdString();
            return reply;
        });
        const SelfUpdateChecker checker(config(server.url("/releases/")),
                                        HttpTransport::createDefault());
        const UpdateState state = checker.checkForUpdate(true, nullptr);
        const std::string fetched = server.url("/releases/version.json");
        QCOMPARE(server.requests().at(0).target, std::string("/releases/version.json"));
        QCOMPARE(state.phase, phase);
        QCOMPARE(QString::fromStdString(state.errorMessage),
                 error.contains("%1") ? error.arg(QString::fromStdString(fetched)) : error);
        QVERIFY(state.userInitiated);
        QCOMPARE(state.installedVersionName, std::string("1.1.0"));
        QCOMPARE(state.installedVersionCode, qint64(10100));
        if (phase == UpdatePhase::Error) {
            QVERIFY(state.manifest.packageUrl.empty());
        } else {
            QCOMPARE(state.manifest.packageUrl, server.url("/releases/pkg/setup.bin"));
        }
    }

    void transportFailuresNameTheUrl() {
        const std::string url =
            "http://127.0.0.1:" + std::to_string(LoopbackHttpServer::closedPort()) + "/v.json";
        const SelfUpdateChecker checker(config(url), nullptr);
        const UpdateState state = checker.checkForUpdate(false, nullptr);
        QCOMPARE(state.phase, UpdatePhase::Error);
        QCOMPARE(state.errorMessage, "Failed to fetch update manifest from " + url + ": HTTP 0 (" +
                                         ConnectRefusedText + ")");
        QVERIFY(!state.userInitiated);
    }

    void cancelWhileFetching() {
        LoopbackHttpServer server([](const HttpRequest&) {
            HttpReply reply;
            reply.stallBeforeHeadersMs = 3000;
            return reply;
        });
        CheckerConfig c = config(server.url("/version.json"));
        c.readTimeoutMs = 10000;
        const SelfUpdateChecker checker(c, nullptr);
        std::atomic<bool> cancel{false};
        std::thread canceller([&] {
            std::this_thread::sleep_for(std::chrono::milliseconds(200));
            cancel = true;
        });
        QElapsedTimer timer;
        timer.start();
        const UpdateState state = checker.checkForUpdate(true, &cancel);
        canceller.join();
        QVERIFY(timer.elapsed() < 2500);
        QCOMPARE(state.phase, UpdatePhase::Error);
        QCOMPARE(state.errorMessage, std::string("Manifest fetch cancelled"));
    }

    // The deadline covers the whole fetch: a server trickling bytes forever never trips the
    // per-read timeout, yet the check ends.
    void catalogFetchHasADeadline_data() {
        QTest::addColumn<int>("trickleMs");
        QTest::addColumn<UpdatePhase>("phase");
        QTest::addColumn<QString>("error");
        QTest::newRow("complete answer") << 0 << UpdatePhase::UpToDate << QString();
        QTest::newRow("trickling forever")
            << 50 << UpdatePhase::Error << "Manifest fetch exceeded its deadline of 600 ms";
    }

    void catalogFetchHasADeadline() {
        QFETCH(int, trickleMs);
        QFETCH(UpdatePhase, phase);
        QFETCH(QString, error);
        LoopbackHttpServer server([&](const HttpRequest&) {
            HttpReply reply;
            reply.body = catalog("com.kadmir.tessaryn", "1.1.0", 10100);
            reply.sendLength = trickleMs == 0;
            reply.trickleMs = trickleMs;
            return reply;
        });
        CheckerConfig c = config(server.url("/version.json"));
        c.totalTimeoutMs = 600;
        const UpdateState state = SelfUpdateChecker(c, nullptr).checkForUpdate(false, nullptr);
        QCOMPARE(state.phase, phase);
        QCOMPARE(QString::fromStdString(state.errorMessage), error);
    }

    void cancelWinsOverACompleteResponse() {
        const SelfUpdateChecker checker(config("http://127.0.0.1/"),
                                        std::make_shared<CancellingTransport>());
        std::atomic<bool> cancel{false};
        const UpdateState state = checker.checkForUpdate(true, &cancel);
        QCOMPARE(state.phase, UpdatePhase::Error);
        QCOMPARE(state.errorMessage, std::string("Manifest fetch cancelled"));
    }

    void installedInfoMergesTheConfiguration_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<qint64>("code");
        QTest::addColumn<qint64>("expectedCode");
        QTest::newRow("both configured") << "1.1.0" << 10177LL << 10177LL;
        QTest::newRow("code from the name") << "2.3.4-beta" << 0LL << 20304LL;
        QTest::newRow("nothing configured") << "" << 0LL << 0LL;
    }

    void installedInfoMergesTheConfiguration() {
        QFETCH(QString, name);
        QFETCH(qint64, code);
        QFETCH(qint64, expectedCode);
        CheckerConfig c = config("http://127.0.0.1/");
        c.currentVersionName = name.toStdString();
        c.currentVersionCode = code;
        const InstalledAppInfo info = SelfUpdateChecker(c, nullptr).getInstalledAppInfo();
        QCOMPARE(info.applicationId, c.applicationId);
        QCOMPARE(info.versionName, name.toStdString());
        QCOMPARE(info.versionCode, expectedCode);
        QCOMPARE(info.executablePath, UpdateInstaller::detectCurrentExecutablePath());
        QVERIFY(!info.executablePath.empty());
    }

    void applicationConfiguration_data() {
        QTest::addColumn<QByteArray>("variable");
        QTest::addColumn<QString>("catalog");
        const QString maker = UpdateManifest::DefaultCatalogBaseUrl;
        QTest::newRow("unset") << QByteArray() << maker;
        QTest::newRow("overridden")
            << QByteArray(" http://127.0.0.1:8/cat/ ") << "http://127.0.0.1:8/cat/";
        QTest::newRow("not an address") << QByteArray("releases/") << maker;
    }

    void applicationConfiguration() {
        QFETCH(QByteArray, variable);
        QFETCH(QString, catalog);
        if (variable.isNull())
            qunsetenv(UpdateConfig::CatalogUrlVariable);
        else
            qputenv(UpdateConfig::CatalogUrlVariable, variable);
        const CheckerConfig c = UpdateConfig::checkerConfig();
        qunsetenv(UpdateConfig::CatalogUrlVariable);
        QCOMPARE(QString::fromStdString(c.manifestUrl), catalog);
        QCOMPARE(c.applicationId, std::string("com.kadmir.tessaryn"));
        QCOMPARE(c.currentVersionName, std::string("1.1.0"));
        QCOMPARE(c.currentVersionCode, qint64(10100));
        QCOMPARE(c.connectTimeoutMs, 10000);
        QCOMPARE(c.readTimeoutMs, 10000);
        QVERIFY(QString(UpdateManifest::DefaultCatalogBaseUrl).startsWith("https://"));
        QVERIFY(QString(UpdateManifest::DefaultCatalogBaseUrl).endsWith("/"));
    }
};

QTEST_GUILESS_MAIN(SelfUpdateCheckerTest)
#include "tst_selfupdatechecker.moc"
