// The update banner, the status-bar button and the "Software Update" dialog against a release
// catalog served on 127.0.0.1, with a controller that only pretends to install.
#include "ModalAnswerer.h"
#include "TestSupport.h"
#include "ai/GeminiStandIn.h"
#include "selfupdate/LoopbackHttpServer.h"
#include "selfupdate/SelfUpdateChecker.h"
#include "selfupdate/SelfUpdateController.h"
#include "selfupdate/Sha256.h"
#include "ui/MainWindow.h"
#include "ui/SelfUpdateDialog.h"
#include "workspace/Workspace.h"

#include <QApplication>
#include <QPushButton>
#include <QTemporaryDir>
#include <QtTest>

#include <atomic>
#include <memory>
#include <mutex>

using namespace Tessaryn;
using selfupdate::UpdatePhase;
using selfupdate::UpdateState;
using TestSupport::HttpReply;
using TestSupport::HttpRequest;
using TestSupport::LoopbackHttpServer;

namespace {

constexpr std::size_t PackageSize = 40000;
const std::string Package = TestSupport::patternBytes(PackageSize);

std::string catalogFor(const std::string& name, int code) {
    return R"({"applicationId": "com.kadmir.tessaryn", "versionName": ")" + name +
           R"(", "versionCode": )" + std::to_string(code) +
           R"(, "packageUrl": "pkg/tessaryn.bin", "installMode": "setup", "sizeBytes": )" +
           std::to_string(PackageSize) + R"(, "sha256": ")" +
           selfupdate::Sha256::hashString(Package) +
           R"(", "releaseNotes": "Faster cuts.\nFewer clicks."})";
}

// "/version.json" answers with the catalog the test sets; "/pkg/..." with the package.
class Release {
public:
    void setCatalog(const std::string& body, int status = 200) {
        std::lock_guard<std::mutex> lock(mutex);
        catalog = body;
        catalogStatus = status;
    }
    int count(const std::string& prefix) const {
        int n = 0;
        for (const HttpRequest& r : server.requests())
            n += r.target.compare(0, prefix.size(), prefix) == 0 ? 1 : 0;
        return n;
    }

    std::atomic<int> packageStatus{200};
    // The package pauses after this many bytes (-1: never).
    std::atomic<long long> stallAfter{-1};

    LoopbackHttpServer server{[this](const HttpRequest& request) {
        HttpReply reply;
        if (request.target == "/version.json") {
            std::lock_guard<std::mutex> lock(mutex);
            reply.status = catalogStatus;
            reply.body = catalog;
        } else {
            reply.status = packageStatus;
            reply.body = reply.status == 200 ? Package : std::string("missing");
            reply.stallAfterBytes = stallAfter;
            reply.stallMs = 5000;
        }
        return reply;
    }};

private:
    mutable std::mutex mutex;
    std::string catalog = catalogFor("1.1.0", 10100);
    int catalogStatus = 200;
};

QPushButton* buttonNamed(QWidget* parent, const QString& text) {
    for (QPushButton* b : parent->findChildren<QPushButton*>())
        if (b->text() == text)
            return b;
    return nullptr;
}

} // namespace

class SelfUpdateUiTest : public QObject {
    Q_OBJECT

    QTemporaryDir scratch;
    std::unique_ptr<Release> release;
    GeminiStandIn gemini;

    std::shared_ptr<selfupdate::SelfUpdateController> makeController() {
        selfupdate::CheckerConfig config = MainWindow::defaultSelfUpdateConfig();
        config.manifestUrl = release->server.url("/");
        config.connectTimeoutMs = 2000;
        config.readTimeoutMs = 2000;
        selfupdate::InstallOptions options;
        options.dryRun = true;
        return std::make_shared<selfupdate::SelfUpdateController>(
            config, options, scratch.filePath("staging").toStdString(), nullptr);
    }

    static bool waitForPhase(const MainWindow& w, UpdatePhase phase) {
        QElapsedTimer t;
        t.start();
        while (w.currentSelfUpdateState().phase != phase && t.elapsed() < 10000)
            QTest::qWait(10);
        return w.currentSelfUpdateState().phase == phase;
    }

    // A window whose controller has found 1.2.0 in a background check.
    void offerUpdate(MainWindow& w) {
        release->setCatalog(catalogFor("1.2.0", 10200));
        w.setSelfUpdateController(makeController());
        w.checkForAppUpdates(false);
        QVERIFY(waitForPhase(w, UpdatePhase::UpdateAvailable));
    }

private slots:
    void initTestCase() {
        QVERIFY(scratch.isValid());
        TestSupport::isolateSettings(scratch.filePath("settings"));
        qputenv("HOME", scratch.filePath("home").toUtf8());
        qputenv("XDG_CACHE_HOME", scratch.filePath("cache").toUtf8());
        qputenv("XDG_CONFIG_HOME", scratch.filePath("config").toUtf8());
        qputenv("DBUS_SESSION_BUS_ADDRESS", "unix:path=/nonexistent/bus");
        // The window's own controller must never leave the machine either.
        qputenv("TESSARYN_UPDATE_CATALOG_URL",
                QByteArray("http://127.0.0.1:") +
                    QByteArray::number(LoopbackHttpServer::closedPort()) + "/");
        qputenv("GEMINI_API_KEY", "test-key-123");
        QVERIFY(gemini.start());
        qputenv("TESSARYN_GEMINI_BASE_URL", gemini.baseUrl().toUtf8());
    }

    void init() {
        release = std::make_unique<Release>();
        QVERIFY(release->server.isListening());
    }

    void cleanup() { release.reset(); }

    void dialogTextsFollowTheState() {
        SelfUpdateDialog d(nullptr, nullptr);
        QCOMPARE(d.phaseBadgeText(), QStringLiteral("IDLE"));
        QCOMPARE(d.versionSummaryText(), QStringLiteral("Installed: v1.1.0"));
        QCOMPARE(d.releaseNotesText(), QStringLiteral("No release notes."));

        UpdateState s;
        s.phase = UpdatePhase::Downloading;
        s.downloadedBytes = 500;
        s.totalBytes = -1;
        d.applyUpdateState(s);
        QCOMPARE(d.statusText(),
                 QStringLiteral("Downloading update package... 0% (500 / 0 bytes)"));
        QCOMPARE(d.progressPercent(), 0);
        s.totalBytes = 1500;
        d.applyUpdateState(s);
        QCOMPARE(d.progressPercent(), 33);
        QVERIFY(!d.checkButtonWidget()->isEnabled());
        QVERIFY(d.cancelButtonWidget()->isEnabled());

        s.phase = UpdatePhase::Error;
        s.errorMessage = "<b>gone</b>";
        d.applyUpdateState(s);
        QCOMPARE(d.statusText(), QStringLiteral("Error: <b>gone</b>"));
        QVERIFY(!d.downloadButtonWidget()->isEnabled()); // no package to retry
        s.manifest.packageUrl = "http://127.0.0.1:1/p.bin";
        d.applyUpdateState(s);
        QVERIFY(d.downloadButtonWidget()->isEnabled());

        s.phase = UpdatePhase::Relaunching;
        d.applyUpdateState(s);
        QVERIFY(!d.closeButtonWidget()->isEnabled());
    }

    void backgroundCheckFindingNothingKeepsTheBannerHidden() {
        MainWindow w;
        w.setSelfUpdateController(makeController());
        w.checkForAppUpdates(false);
        QVERIFY(waitForPhase(w, UpdatePhase::UpToDate));
        QVERIFY(!w.isUpdateBannerVisible());
        QCOMPARE(buttonNamed(&w, "Check for Updates") != nullptr, true);
    }

    // The menu's check opens the dialog, starts a user check and both show its result.
    void userCheckShowsUpToDate() {
        MainWindow w;
        w.setSelfUpdateController(makeController());
        QString badge, status, version;
        ModalAnswerer answer([&](QWidget* modal) {
            auto* d = dynamic_cast<SelfUpdateDialog*>(modal);
            if (!d) {
                ModalAnswerer::dismiss(modal);
                return;
            }
            if (d->currentUpdateState().phase == UpdatePhase::Checking)
                return;
            badge = d->phaseBadgeText();
            status = d->statusText();
            version = d->versionSummaryText();
            d->reject();
        });
        w.onCheckForUpdates();
        QCOMPARE(answer.titles, QStringList{"Software Update — Tessaryn"});
        QCOMPARE(badge, QStringLiteral("UP TO DATE"));
        QCOMPARE(status, QStringLiteral("Tessaryn v1.1.0 is the latest version."));
        QCOMPARE(version, QStringLiteral("Installed: v1.1.0 (Latest)"));
        QVERIFY(w.isUpdateBannerVisible());
        QCOMPARE(w.updateBannerText(), QStringLiteral("Tessaryn v1.1.0 is up to date."));
        QVERIFY(!buttonNamed(&w, "Download && Update")->isVisibleTo(&w));
        QCOMPARE(release->count("/version.json"), 1);
    }

    void availableUpdateShowsTheBannerAndTheDialogMetadata() {
        MainWindow w;
        offerUpdate(w);
        QVERIFY(w.isUpdateBannerVisible());
        QCOMPARE(w.updateBannerText(), QStringLiteral("Tessaryn v1.2.0 is available!"));
        QPushButton* action = buttonNamed(&w, "Download && Update");
        QVERIFY(action && action->isVisibleTo(&w) && action->isEnabled());
        QPushButton* status = buttonNamed(&w, "⬆ Update Available (v1.2.0)");
        QVERIFY(status);
        QCOMPARE(status->objectName(), QStringLiteral("goldButton"));

        // Opening the dialog now shows the cached offer and starts no second check.
        QString metadata, version, notes, badge;
        bool downloadEnabled = false;
        ModalAnswerer answer([&](QWidget* modal) {
            if (auto* d = dynamic_cast<SelfUpdateDialog*>(modal)) {
                metadata = d->metadataSummaryText();
                version = d->versionSummaryText();
                notes = d->releaseNotesText();
                badge = d->phaseBadgeText();
                downloadEnabled = d->downloadButtonWidget()->isEnabled();
            }
            ModalAnswerer::dismiss(modal);
        });
        buttonNamed(&w, "Release Details...")->click();
        QCOMPARE(badge, QStringLiteral("UPDATE AVAILABLE"));
        QCOMPARE(version, QStringLiteral("Installed: v1.1.0 -> Available: v1.2.0 (Build 10200)"));
        QCOMPARE(metadata,
                 QStringLiteral("Mode: Setup Installer | Architecture: x86_64 | Minimum OS: "
                                "Windows 10 (64-bit)+\nSize: 39 KB (40000 bytes) | SHA-256: ") +
                     QString::fromStdString(selfupdate::Sha256::hashString(Package)));
        QCOMPARE(notes, QStringLiteral("Faster cuts.\nFewer clicks."));
        QVERIFY(downloadEnabled);
        QCOMPARE(release->count("/version.json"), 1);
    }

    void downloadProgressReachesBannerAndDialog() {
        MainWindow w;
        offerUpdate(w);
        release->stallAfter = 20000;
        SelfUpdateDialog d(w.selfUpdateControllerShared(), &w);
        buttonNamed(&w, "Download && Update")->click();
        QTRY_COMPARE_WITH_TIMEOUT(d.progressPercent(), 50, 10000);
        QCOMPARE(d.statusText(),
                 QStringLiteral("Downloading update package... 50% (20000 / 40000 bytes)"));
        QCOMPARE(d.phaseBadgeText(), QStringLiteral("DOWNLOADING"));
        QCOMPARE(w.updateBannerText(), QStringLiteral("Downloading Tessaryn update (50%)..."));
        QPushButton* action = buttonNamed(&w, "Downloading...");
        QVERIFY(action && !action->isEnabled());
        // The dialog's Cancel reaches the controller: the download ends without a new state.
        d.cancelButtonWidget()->click();
        w.selfUpdateController()->waitForIdle();
        QCOMPARE(w.selfUpdateController()->state().phase, UpdatePhase::Downloading);
    }

    void failedBackgroundCheckStaysSilent() {
        MainWindow w;
        release->setCatalog("not found", 404);
        w.setSelfUpdateController(makeController());
        w.checkForAppUpdates(false);
        QVERIFY(waitForPhase(w, UpdatePhase::Error));
        QVERIFY(!w.isUpdateBannerVisible());
        // The same failure is reported when the user asked.
        w.checkForAppUpdates(true);
        QVERIFY(waitForPhase(w, UpdatePhase::Error));
        QTRY_VERIFY(w.isUpdateBannerVisible());
        QVERIFY(w.updateBannerText().startsWith("Update error: "));
        QPushButton* retry = buttonNamed(&w, "Retry Update");
        QVERIFY(!retry || !retry->isVisibleTo(&w)); // nothing to retry without a package
    }

    void failedDownloadOffersRetry() {
        MainWindow w;
        offerUpdate(w);
        release->packageStatus = 404;
        buttonNamed(&w, "Download && Update")->click();
        QVERIFY(waitForPhase(w, UpdatePhase::Error));
        QVERIFY(w.isUpdateBannerVisible());
        QVERIFY(w.updateBannerText().startsWith("Update error: "));
        QPushButton* retry = buttonNamed(&w, "Retry Update");
        QVERIFY(retry && retry->isVisibleTo(&w) && retry->isEnabled());
        // Retry repeats the download of the known release, without a new check.
        const int downloads = release->count("/pkg/");
        retry->click();
        w.selfUpdateController()->waitForIdle();
        QVERIFY(waitForPhase(w, UpdatePhase::Error));
        QCOMPARE(release->count("/pkg/"), downloads + 1);
        QCOMPARE(release->count("/version.json"), 1);
    }

    void dismissHidesTheBannerUntilTheNextCheck() {
        MainWindow w;
        offerUpdate(w);
        QVERIFY(w.isUpdateBannerVisible());
        buttonNamed(&w, "Dismiss")->click();
        QVERIFY(!w.isUpdateBannerVisible());
        QCOMPARE(w.currentSelfUpdateState().phase, UpdatePhase::Idle);
        QTest::qWait(50); // the controller's fresh Idle state arrives
        QVERIFY(!w.isUpdateBannerVisible());
        QVERIFY(buttonNamed(&w, "Check for Updates"));
        w.checkForAppUpdates(false);
        QVERIFY(waitForPhase(w, UpdatePhase::UpdateAvailable));
        QVERIFY(w.isUpdateBannerVisible());
    }

    void replacedControllerNoLongerReachesTheWindow() {
        MainWindow w;
        offerUpdate(w);
        const auto old = w.selfUpdateControllerShared();
        w.setSelfUpdateController(makeController());
        QCOMPARE(w.currentSelfUpdateState().phase, UpdatePhase::Idle);
        old->checkForUpdates(true);
        old->waitForIdle();
        QTest::qWait(50);
        QCOMPARE(w.currentSelfUpdateState().phase, UpdatePhase::Idle);
        QVERIFY(!w.isUpdateBannerVisible());
    }

    // An update's quit request while an analysis runs asks first; declining keeps the studio.
    void declinedQuitRequestKeepsTheStudioRunning() {
        // An MP4 box header passes the footage check; the hanging upload never reads further.
        QVERIFY(
            TestSupport::writeFile(scratch.filePath("footage/a_clip.mp4"), QByteArray("\0\0\0\x18"
                                                                                      "ftypisom",
                                                                                      12)));
        const QString root = scratch.filePath("Busy");
        QVERIFY(Workspace().create(root, "Busy", scratch.filePath("footage")));
        MainWindow w;
        w.show();
        w.openWorkspace(root);
        gemini.answers = {CannedAnswer{200, QByteArray(), true}}; // the upload hangs
        w.onAnalyzeReelRequested(0);
        QTRY_VERIFY_WITH_TIMEOUT(!gemini.requests.isEmpty(), 10000);
        QVERIFY(w.hasRunningJob());
        {
            ModalAnswerer no([](QWidget* m) { ModalAnswerer::click(m, QMessageBox::No); });
            w.handleSelfUpdateQuitRequested();
            QCOMPARE(no.titles, QStringList{"Job in Progress"});
        }
        QVERIFY(!w.wasQuitRequestedByUpdate());
        QVERIFY(w.isVisible());
        QVERIFY(w.hasRunningJob());
        {
            ModalAnswerer yes([](QWidget* m) { ModalAnswerer::click(m, QMessageBox::Yes); });
            QVERIFY(w.close());
        }
        QVERIFY(!w.hasRunningJob());
        gemini.answers.clear();
    }

    // Last: the application's quit request stays in force for the rest of the run.
    void installAndRelaunchLeadsToTheQuitRequest() {
        MainWindow w;
        w.show();
        offerUpdate(w);
        w.selfUpdateController()->downloadPackage(nullptr);
        QVERIFY(waitForPhase(w, UpdatePhase::ReadyToInstall));
        QCOMPARE(w.updateBannerText(), QStringLiteral("Tessaryn v1.2.0 ready to install."));
        SelfUpdateDialog d(w.selfUpdateControllerShared(), &w);
        d.show();
        QCOMPARE(d.downloadButtonWidget()->text(), QStringLiteral("Install && Relaunch Now"));
        QVERIFY(!w.wasQuitRequestedByUpdate());
        buttonNamed(&w, "Install && Relaunch")->click();
        QTRY_VERIFY_WITH_TIMEOUT(w.wasQuitRequestedByUpdate(), 10000);
        QCOMPARE(w.currentSelfUpdateState().phase, UpdatePhase::Relaunching);
        QCOMPARE(w.updateBannerText(), QStringLiteral("Relaunching Tessaryn..."));
        QCOMPARE(d.result(), int(QDialog::Accepted));
        QVERIFY(!w.isVisible());
    }
};

QTEST_MAIN(SelfUpdateUiTest)
#include "tst_selfupdateui.moc"
