#include "LoopbackHttpServer.h"
#include "TestSupport.h"
#include "selfupdate/HttpTransport.h"
#include "selfupdate/SelfUpdateController.h"
#include "selfupdate/Sha256.h"

#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QtTest>

#include <deque>
#include <mutex>
#include <thread>

using namespace selfupdate;
using TestSupport::HttpReply;
using TestSupport::HttpRequest;
using TestSupport::LoopbackHttpServer;
using TestSupport::patternBytes;

Q_DECLARE_METATYPE(selfupdate::UpdatePhase)

namespace {

constexpr std::size_t PackageSize = 40000;
const std::string Package = patternBytes(PackageSize);

std::string catalogFor(const std::string& name, int code, const std::string& mode) {
    return R"({"applicationId": "com.kadmir.tessaryn", "versionName": ")" + name +
           R"(", "versionCode": )" + std::to_string(code) +
           R"(, "packageUrl": "pkg/tessaryn.bin", "installMode": ")" + mode +
           R"(", "sizeBytes": )" + std::to_string(PackageSize) + R"(, "sha256": ")" +
           Sha256::hashString(Package) + R"("})";
}

// "/version.json" answers with the catalog the test sets; "/pkg/..." with the package.
class Release {
public:
    std::string catalog = catalogFor("1.2.0", 10200, "setup");
    int catalogStatus = 200;
    LoopbackHttpServer server{[this](const HttpRequest& request) {
        HttpReply reply;
        if (request.target == "/version.json") {
            reply.status = catalogStatus;
            reply.body = catalog;
        } else {
            reply.body = Package;
        }
        return reply;
    }};
};

CheckerConfig configFor(const std::string& catalogUrl) {
    CheckerConfig c;
    c.applicationId = "com.kadmir.tessaryn";
    c.currentVersionName = "1.1.0";
    c.currentVersionCode = 10100;
    c.manifestUrl = catalogUrl;
    c.connectTimeoutMs = 2000;
    c.readTimeoutMs = 2000;
    return c;
}

UpdateManifest manifestFor(const std::string& packageUrl) {
    UpdateManifest m;
    m.applicationId = "com.kadmir.tessaryn";
    m.versionName = "1.2.0";
    m.versionCode = 10200;
    m.packageUrl = packageUrl;
    m.sha256 = Sha256::hashString(Package);
    m.sizeBytes = std::int64_t(PackageSize);
    return m;
}

// Stands in for the network where timing matters: the first get, and every download after
// chunksBeforeStall chunks, block until the cancel flag is set (bounded to five seconds).
class HoldingTransport : public HttpTransport {
public:
    std::atomic<int> gets{0};
    int chunksBeforeStall = 3;

    HttpResponse get(const std::string&, int, int, const std::atomic<bool>* cancel) override {
        HttpResponse response;
        if (gets++ == 0) {
            holdUntil(cancel);
            response.error = "Operation cancelled";
            return response;
        }
        response.statusCode = 200;
        response.body = catalogFor("1.1.0", 10100, "setup");
        return response;
    }

    bool downloadStream(const std::string&, const ChunkCallback& onChunk, int, int,
                        const std::atomic<bool>* cancel, std::string* error) override {
        for (int i = 0; i < chunksBeforeStall; ++i) {
            if (!onChunk(Package.data() + i * 1000, 1000, std::int64_t(PackageSize)))
                return false;
        }
        holdUntil(cancel);
        *error = "Download cancelled";
        return false;
    }

private:
    static void holdUntil(const std::atomic<bool>* cancel) {
        const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(5);
        while (!cancel->load() && std::chrono::steady_clock::now() < end)
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
};

// Every publication with the thread it arrived on.
struct Recorder {
    mutable std::mutex mutex;
    std::vector<UpdateState> states;
    std::vector<std::thread::id> threads;
    std::atomic<int> quits{0};
    std::vector<int> quitsAtState;

    void attach(SelfUpdateController& c) {
        c.setStateCallback([this](const UpdateState& s) {
            std::lock_guard<std::mutex> lock(mutex);
            states.push_back(s);
            threads.push_back(std::this_thread::get_id());
            quitsAtState.push_back(quits);
        });
        c.setQuitCallback([this] { ++quits; });
    }
    int count() const {
        std::lock_guard<std::mutex> lock(mutex);
        return int(states.size());
    }
    UpdateState at(int i) const {
        std::lock_guard<std::mutex> lock(mutex);
        return states.at(std::size_t(i));
    }
    UpdateState last() const {
        std::lock_guard<std::mutex> lock(mutex);
        return states.back();
    }
    // Repeated progress publications collapse into one Downloading.
    QList<UpdatePhase> phases() const {
        std::lock_guard<std::mutex> lock(mutex);
        QList<UpdatePhase> list;
        for (const UpdateState& s : states) {
            if (list.isEmpty() || list.back() != s.phase || s.phase != UpdatePhase::Downloading)
                list.push_back(s.phase);
        }
        return list;
    }
};

} // namespace

class SelfUpdateControllerTest : public QObject {
    Q_OBJECT

    QTemporaryDir staging;

    std::unique_ptr<SelfUpdateController> make(const std::string& catalogUrl,
                                               std::shared_ptr<HttpTransport> transport = nullptr,
                                               InstallOptions options = dryRunOptions()) {
        return std::make_unique<SelfUpdateController>(configFor(catalogUrl), options,
                                                      staging.path().toStdString(), transport);
    }
    static InstallOptions dryRunOptions() {
        InstallOptions options;
        options.dryRun = true;
        return options;
    }

private slots:
    void cleanup() {
        QDir(staging.path()).removeRecursively();
        QDir().mkpath(staging.path());
    }

    void startsIdleWithTheConfiguredVersion() {
        Recorder rec;
        const auto c = make("http://127.0.0.1:1/");
        rec.attach(*c);
        const UpdateState s = c->state();
        QCOMPARE(s.phase, UpdatePhase::Idle);
        QCOMPARE(s.installedVersionName, std::string("1.1.0"));
        QCOMPARE(s.installedVersionCode, qint64(10100));
        QCOMPARE(rec.count(), 0);
    }

    void checkEnds_data() {
        QTest::addColumn<QByteArray>("catalog");
        QTest::addColumn<int>("status");
        QTest::addColumn<UpdatePhase>("phase");
        QTest::newRow("up to date") << QByteArray::fromStdString(catalogFor("1.1.0", 10100, ""))
                                    << 200 << UpdatePhase::UpToDate;
        QTest::newRow("update available")
            << QByteArray::fromStdString(catalogFor("1.2.0", 10200, "")) << 200
            << UpdatePhase::UpdateAvailable;
        QTest::newRow("error") << QByteArray("{}") << 404 << UpdatePhase::Error;
    }

    // Checking is published from the calling thread, the result from the worker.
    void checkEnds() {
        QFETCH(QByteArray, catalog);
        QFETCH(int, status);
        QFETCH(UpdatePhase, phase);
        Release release;
        release.catalog = catalog.toStdString();
        release.catalogStatus = status;
        Recorder rec;
        const auto c = make(release.server.url("/"), HttpTransport::createDefault());
        rec.attach(*c);
        QVERIFY(c->checkForUpdates(true));
        QCOMPARE(rec.at(0).phase, UpdatePhase::Checking);
        QVERIFY(rec.at(0).userInitiated);
        c->waitForIdle();
        QCOMPARE(rec.phases(), (QList<UpdatePhase>{UpdatePhase::Checking, phase}));
        QCOMPARE(rec.threads[0], std::this_thread::get_id());
        QVERIFY(rec.threads[1] != std::this_thread::get_id());
        QCOMPARE(c->state().phase, phase);
        QCOMPARE(c->state().errorMessage.empty(), phase != UpdatePhase::Error);
    }

    void downloadReachesReadyToInstall() {
        Release release;
        Recorder rec;
        const auto c = make(release.server.url("/"));
        rec.attach(*c);
        const UpdateManifest m = manifestFor(release.server.url("/pkg/tessaryn.bin"));
        QVERIFY(c->downloadPackage(&m));
        c->waitForIdle();
        QCOMPARE(rec.phases(),
                 (QList<UpdatePhase>{UpdatePhase::Downloading, UpdatePhase::ReadyToInstall}));
        QVERIFY(rec.count() >= 4);
        QCOMPARE(rec.at(0).downloadedBytes, qint64(0));
        QCOMPARE(rec.at(0).totalBytes, qint64(PackageSize));
        for (int i = 1; i < rec.count() - 1; ++i)
            QVERIFY(rec.at(i).downloadedBytes > rec.at(i - 1).downloadedBytes);
        const UpdateState ready = rec.last();
        QCOMPARE(ready.downloadedBytes, qint64(PackageSize));
        QCOMPARE(ready.manifest.packageUrl, m.packageUrl);
        QCOMPARE(QString::fromStdString(ready.stagedPackagePath), staging.filePath("tessaryn.bin"));
        QVERIFY(TestSupport::readFile(staging.filePath("tessaryn.bin")) ==
                QByteArray::fromStdString(Package));
    }

    void downloadFailureEndsInError() {
        Release release;
        Recorder rec;
        const auto c = make(release.server.url("/"));
        rec.attach(*c);
        UpdateManifest m = manifestFor(release.server.url("/pkg/tessaryn.bin"));
        m.sha256 = std::string(64, '0');
        QVERIFY(c->downloadPackage(&m));
        c->waitForIdle();
        QCOMPARE(rec.phases(), (QList<UpdatePhase>{UpdatePhase::Downloading, UpdatePhase::Error}));
        QVERIFY(QString::fromStdString(rec.last().errorMessage)
                    .startsWith("SHA-256 digest mismatch: expected 0000"));
    }

    // Refused at once, from the calling thread, with no worker started.
    void commandsWithoutWhatTheyNeedFailAtOnce_data() {
        QTest::addColumn<int>("command");
        QTest::addColumn<QString>("error");
        QTest::newRow("download, no manifest") << 0 << "No package URL to download";
        QTest::newRow("download and install, no url") << 1 << "No package URL to download";
        QTest::newRow("install, nothing staged") << 2 << "No staged package ready to install";
    }

    void commandsWithoutWhatTheyNeedFailAtOnce() {
        QFETCH(int, command);
        QFETCH(QString, error);
        Recorder rec;
        const auto c = make("http://127.0.0.1:1/");
        rec.attach(*c);
        const UpdateManifest noUrl;
        if (command == 0)
            c->downloadPackage(nullptr);
        else if (command == 1)
            c->downloadAndInstall(&noUrl);
        else
            c->installStagedPackage();
        QCOMPARE(rec.count(), 1);
        QCOMPARE(rec.last().phase, UpdatePhase::Error);
        QCOMPARE(QString::fromStdString(rec.last().errorMessage), error);
        QCOMPARE(rec.threads[0], std::this_thread::get_id());
        QCOMPARE(c->state().phase, UpdatePhase::Error);
    }

    void installOfTheStagedPackage_data() {
        QTest::addColumn<bool>("removeStaged");
        QTest::newRow("installer started") << false;
        QTest::newRow("staged file gone") << true;
    }

    // Relaunching comes before the quit request; a failed step ends in Error without one.
    void installOfTheStagedPackage() {
        QFETCH(bool, removeStaged);
        Release release;
        Recorder rec;
        const auto c = make(release.server.url("/"));
        rec.attach(*c);
        const UpdateManifest m = manifestFor(release.server.url("/pkg/tessaryn.bin"));
        c->downloadPackage(&m);
        c->waitForIdle();
        QCOMPARE(c->state().phase, UpdatePhase::ReadyToInstall);
        const int before = rec.count();
        if (removeStaged)
            QVERIFY(QFile::remove(staging.filePath("tessaryn.bin")));
        QVERIFY(c->installStagedPackage());
        c->waitForIdle();
        QCOMPARE(rec.at(before).phase, UpdatePhase::Installing);
        QCOMPARE(rec.count(), before + 2);
        const UpdateState end = rec.last();
        const InstallResult result = c->lastInstallResult();
        if (removeStaged) {
            QCOMPARE(end.phase, UpdatePhase::Error);
            QCOMPARE(QString::fromStdString(end.errorMessage),
                     "Staged installer path does not exist or is not a regular file: " +
                         staging.filePath("tessaryn.bin"));
            QVERIFY(!result.success);
            QCOMPARE(rec.quits.load(), 0);
        } else {
            QCOMPARE(end.phase, UpdatePhase::Relaunching);
            QVERIFY(result.success);
            QCOMPARE(QString::fromStdString(result.scriptPath),
                     staging.filePath("selfupdate_trampoline.cmd"));
            QCOMPARE(rec.quits.load(), 1);
            QCOMPARE(rec.quitsAtState.back(), 0);
        }
    }

    void downloadAndInstallRunsTheWholeRoad_data() {
        QTest::addColumn<bool>("binaryCopy");
        QTest::newRow("setup installer, quits") << false;
        QTest::newRow("binary copy without relaunch, stays") << true;
    }

    void downloadAndInstallRunsTheWholeRoad() {
        QFETCH(bool, binaryCopy);
        Release release;
        release.catalog = catalogFor("1.2.0", 10200, binaryCopy ? "binary" : "setup");
        QTemporaryDir installed;
        const QString target = installed.filePath("tessaryn");
        QVERIFY(TestSupport::writeFile(target, "old"));
        InstallOptions options = dryRunOptions();
        options.dryRun = !binaryCopy;
        options.relaunchAfterInstall = !binaryCopy;
        options.targetExecutablePath = target.toStdString();
        Recorder rec;
        const auto c = make(release.server.url("/"), nullptr, options);
        rec.attach(*c);
        c->checkForUpdates(false);
        c->waitForIdle();
        QCOMPARE(c->state().phase, UpdatePhase::UpdateAvailable);
        QVERIFY(c->downloadAndInstall(nullptr));
        c->waitForIdle();
        QCOMPARE(rec.phases(),
                 (QList<UpdatePhase>{UpdatePhase::Checking, UpdatePhase::UpdateAvailable,
                                     UpdatePhase::Downloading, UpdatePhase::ReadyToInstall,
                                     UpdatePhase::Installing, UpdatePhase::Relaunching}));
        QCOMPARE(rec.quits.load(), binaryCopy ? 0 : 1);
        QCOMPARE(TestSupport::readFile(target),
                 binaryCopy ? QByteArray::fromStdString(Package) : QByteArray("old"));
    }

    void dismissReturnsToIdle() {
        Release release;
        Recorder rec;
        const auto c = make(release.server.url("/"));
        rec.attach(*c);
        c->checkForUpdates(true);
        c->waitForIdle();
        QCOMPARE(c->state().phase, UpdatePhase::UpdateAvailable);
        QVERIFY(c->dismiss());
        const UpdateState idle = rec.last();
        QCOMPARE(idle.phase, UpdatePhase::Idle);
        QVERIFY(idle.manifest.packageUrl.empty());
        QVERIFY(!idle.userInitiated);
        QCOMPARE(idle.installedVersionName, std::string("1.1.0"));
        QCOMPARE(idle.installedVersionCode, qint64(10100));
    }

    void cancelledDownloadPublishesNothingMore() {
        const auto transport = std::make_shared<HoldingTransport>();
        Recorder rec;
        const auto c = make("http://127.0.0.1:1/", transport);
        rec.attach(*c);
        const UpdateManifest m = manifestFor("http://127.0.0.1:1/pkg/tessaryn.bin");
        c->downloadPackage(&m);
        QTRY_COMPARE(rec.count(), 1 + transport->chunksBeforeStall);
        c->cancel();
        c->waitForIdle();
        QCOMPARE(rec.count(), 1 + transport->chunksBeforeStall);
        QCOMPARE(c->state().phase, UpdatePhase::Downloading);
        QCOMPARE(c->state().downloadedBytes, qint64(3000));
        QVERIFY(QDir(staging.path()).entryList(QDir::Files).isEmpty());
        c->dismiss();
        QCOMPARE(rec.last().phase, UpdatePhase::Idle);
    }

    void secondCheckCancelsTheFirst() {
        const auto transport = std::make_shared<HoldingTransport>();
        Recorder rec;
        const auto c = make("http://127.0.0.1:1/", transport);
        rec.attach(*c);
        c->checkForUpdates(false);
        QTRY_COMPARE(transport->gets.load(), 1);
        QElapsedTimer timer;
        timer.start();
        c->checkForUpdates(true);
        QVERIFY(timer.elapsed() < 1000);
        c->waitForIdle();
        QCOMPARE(rec.phases(), (QList<UpdatePhase>{UpdatePhase::Checking, UpdatePhase::Checking,
                                                   UpdatePhase::UpToDate}));
        QVERIFY(rec.last().userInitiated);
    }

    // With a dispatcher, callbacks run only where it runs them, in publication order.
    void dispatcherCarriesEveryCallback() {
        Release release;
        Recorder rec;
        std::mutex mutex;
        std::deque<std::function<void()>> queue;
        const auto c = make(release.server.url("/"));
        rec.attach(*c);
        c->setUiDispatcher([&](std::function<void()> fn) {
            std::lock_guard<std::mutex> lock(mutex);
            queue.push_back(std::move(fn));
        });
        const UpdateManifest m = manifestFor(release.server.url("/pkg/tessaryn.bin"));
        c->downloadAndInstall(&m);
        c->waitForIdle();
        QCOMPARE(rec.count(), 0);
        QCOMPARE(rec.quits.load(), 0);
        std::deque<std::function<void()>> taken;
        {
            std::lock_guard<std::mutex> lock(mutex);
            taken.swap(queue);
        }
        for (auto& fn : taken)
            fn();
        QCOMPARE(rec.phases(),
                 (QList<UpdatePhase>{UpdatePhase::Downloading, UpdatePhase::ReadyToInstall,
                                     UpdatePhase::Installing, UpdatePhase::Relaunching}));
        for (const std::thread::id& id : rec.threads)
            QCOMPARE(id, std::this_thread::get_id());
        QCOMPARE(rec.quits.load(), 1);
    }

    // A callback run on the worker cannot join it: its commands are refused, nothing hangs.
    void commandsFromTheWorkerAreRefused() {
        Release release;
        release.catalog = catalogFor("1.1.0", 10100, "");
        const auto c = make(release.server.url("/"));
        std::vector<bool> accepted;
        const UpdateManifest m = manifestFor(release.server.url("/pkg/tessaryn.bin"));
        c->setStateCallback([&](const UpdateState& s) {
            if (s.phase != UpdatePhase::UpToDate)
                return;
            accepted = {c->checkForUpdates(true), c->downloadPackage(&m), c->downloadAndInstall(&m),
                        c->installStagedPackage(), c->dismiss()};
            c->waitForIdle();
            c->stopWorker();
        });
        QElapsedTimer timer;
        timer.start();
        c->checkForUpdates(false);
        c->waitForIdle();
        QVERIFY(timer.elapsed() < 5000);
        QCOMPARE(accepted, (std::vector<bool>{false, false, false, false, false}));
        QCOMPARE(c->state().phase, UpdatePhase::UpToDate);
        // The worker ended; commands from this thread work as before.
        QVERIFY(c->dismiss());
        QCOMPARE(c->state().phase, UpdatePhase::Idle);
    }

    void destructionCancelsAndJoinsTheWorker() {
        const auto transport = std::make_shared<HoldingTransport>();
        Recorder rec;
        auto c = make("http://127.0.0.1:1/", transport);
        rec.attach(*c);
        c->checkForUpdates(false);
        QTRY_COMPARE(transport->gets.load(), 1);
        QElapsedTimer timer;
        timer.start();
        c.reset();
        QVERIFY(timer.elapsed() < 1000);
        QCOMPARE(rec.phases(), QList<UpdatePhase>{UpdatePhase::Checking});
    }
};

QTEST_GUILESS_MAIN(SelfUpdateControllerTest)
#include "tst_selfupdatecontroller.moc"
