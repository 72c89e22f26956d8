#include "selfupdate/HttpTransport.h"
#include "selfupdate/QtControllerBinding.h"
#include "selfupdate/SelfUpdateController.h"
#include "selfupdate/Sha256.h"

#include <QCoreApplication>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>
#include <QtTest>

#include <memory>
#include <mutex>

using namespace selfupdate;

Q_DECLARE_METATYPE(selfupdate::UpdatePhase)

namespace {

const std::string Package(20000, 'p');

// Answers at once: an up-to-date catalog, and the package.
class ImmediateTransport : public HttpTransport {
public:
    HttpResponse get(const std::string&, int, int, const std::atomic<bool>*) override {
        HttpResponse r;
        r.statusCode = 200;
        r.body = R"({"applicationId": "com.kadmir.tessaryn", "versionName": "1.1.0",
                     "versionCode": 10100, "packageUrl": "p.bin", "sha256": ")" +
                 Sha256::hashString(Package) + "\"}";
        return r;
    }
    bool downloadStream(const std::string&, const ChunkCallback& onChunk, int, int,
                        const std::atomic<bool>*, std::string*) override {
        for (std::size_t at = 0; at < Package.size(); at += 5000) {
            if (!onChunk(Package.data() + at, 5000, -1))
                return false;
        }
        return true;
    }
};

struct Seen {
    std::mutex mutex;
    QList<UpdatePhase> phases;
    QList<QThread*> threads;
    void add(const UpdateState& s) {
        std::lock_guard<std::mutex> lock(mutex);
        phases.push_back(s.phase);
        threads.push_back(QThread::currentThread());
    }
    int count() {
        std::lock_guard<std::mutex> lock(mutex);
        return int(phases.size());
    }
};

} // namespace

class QtControllerBindingTest : public QObject {
    Q_OBJECT

    QTemporaryDir staging;

    std::shared_ptr<SelfUpdateController> make() {
        CheckerConfig config;
        config.applicationId = "com.kadmir.tessaryn";
        config.currentVersionName = "1.1.0";
        config.currentVersionCode = 10100;
        config.manifestUrl = "http://127.0.0.1:1/";
        InstallOptions options;
        options.dryRun = true;
        return std::make_shared<SelfUpdateController>(config, options, staging.path().toStdString(),
                                                      std::make_shared<ImmediateTransport>());
    }

private slots:
    void statesArriveQueuedOnTheContextThread_data() {
        QTest::addColumn<bool>("ownThread");
        QTest::newRow("GUI thread") << false;
        QTest::newRow("another thread") << true;
    }

    void statesArriveQueuedOnTheContextThread() {
        QFETCH(bool, ownThread);
        QThread thread;
        auto* context = new QObject;
        if (ownThread) {
            thread.start();
            context->moveToThread(&thread);
        }
        Seen seen;
        const auto c = make();
        bindQtController(c, context, [&](const UpdateState& s) { seen.add(s); }, {});
        c->checkForUpdates(true);
        // Even the publication made on this thread waits for the event loop.
        if (!ownThread)
            QCOMPARE(seen.count(), 0);
        c->waitForIdle();
        QTRY_COMPARE(seen.count(), 2);
        QCOMPARE(seen.phases, (QList<UpdatePhase>{UpdatePhase::Checking, UpdatePhase::UpToDate}));
        QThread* expected = ownThread ? &thread : QThread::currentThread();
        QCOMPARE(seen.threads, (QList<QThread*>{expected, expected}));
        c->setStateCallback({});
        if (ownThread) {
            QMetaObject::invokeMethod(context, &QObject::deleteLater);
            thread.quit();
            thread.wait();
        } else {
            delete context;
        }
    }

    void closuresForADestroyedContextAreDropped() {
        Seen seen;
        auto* context = new QObject;
        const auto c = make();
        bindQtController(c, context, [&](const UpdateState& s) { seen.add(s); }, {});
        c->checkForUpdates(false);
        c->waitForIdle();
        delete context;
        QTest::qWait(50);
        c->checkForUpdates(false);
        c->waitForIdle();
        QTest::qWait(50);
        QCOMPARE(seen.count(), 0);
    }

    void quitRequest_data() {
        QTest::addColumn<bool>("ownQuit");
        QTest::newRow("given quit callback") << true;
        QTest::newRow("application quit") << false;
    }

    // A finished install that needs the application gone ends its event loop.
    void quitRequest() {
        QFETCH(bool, ownQuit);
        QObject context;
        int quits = 0;
        const auto c = make();
        std::function<void()> onQuit;
        if (ownQuit)
            onQuit = [&] {
                ++quits;
                QCoreApplication::exit(3);
            };
        bindQtController(c, &context, {}, onQuit);
        UpdateManifest m;
        m.applicationId = "com.kadmir.tessaryn";
        m.packageUrl = "http://127.0.0.1:1/p.bin";
        m.sha256 = Sha256::hashString(Package);
        QTimer::singleShot(0, &context, [&] { c->downloadAndInstall(&m); });
        QTimer::singleShot(5000, &context, [] { QCoreApplication::exit(7); });
        const int code = QCoreApplication::exec();
        c->waitForIdle();
        QCOMPARE(code, ownQuit ? 3 : 0);
        QCOMPARE(quits, ownQuit ? 1 : 0);
        QCOMPARE(c->state().phase, UpdatePhase::Relaunching);
    }
};

QTEST_GUILESS_MAIN(QtControllerBindingTest)
#include "tst_qtcontrollerbinding.moc"
