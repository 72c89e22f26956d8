#include "LoopbackHttpServer.h"
#include "TestSupport.h"
#include "selfupdate/HttpTransport.h"
#include "selfupdate/PackageDownloader.h"
#include "selfupdate/Sha256.h"
#include "selfupdate/UpdateManifest.h"

#include <QTemporaryDir>
#include <QtTest>

#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <stdexcept>

using namespace selfupdate;
using TestSupport::HttpReply;
using TestSupport::HttpRequest;
using TestSupport::LoopbackHttpServer;
using TestSupport::patternBytes;

namespace {

constexpr std::size_t PackageSize = 50000;

// Every path answers with the package; "/stall" stops after 20000 bytes, "/huge" sends 4 MiB
// without a length ("/huge-with-length" with one), "/missing" is a 404.
HttpReply route(const HttpRequest& request) {
    HttpReply reply;
    if (request.target == "/missing") {
        reply.status = 404;
    } else if (request.target == "/huge" || request.target == "/huge-with-length") {
        reply.body = patternBytes(4 * 1024 * 1024);
        reply.sendLength = request.target != "/huge";
    } else {
        reply.body = patternBytes(PackageSize);
        if (request.target == "/stall") {
            reply.stallAfterBytes = 20000;
            reply.stallMs = 3000;
        }
    }
    return reply;
}

UpdateManifest manifestFor(const std::string& url) {
    UpdateManifest m;
    m.applicationId = "com.kadmir.tessaryn";
    m.slug = "tessaryn";
    m.packageUrl = url;
    m.sha256 = Sha256::hashString(patternBytes(PackageSize));
    m.sizeBytes = std::int64_t(PackageSize);
    return m;
}

QString runExpectingFailure(const PackageDownloader& downloader, const UpdateManifest& m,
                            const std::atomic<bool>* cancel = nullptr,
                            const PackageDownloader::ProgressCallback& progress = {}) {
    try {
        downloader.downloadAndVerify(m, progress, cancel);
    } catch (const std::runtime_error& e) {
        return QString::fromUtf8(e.what());
    }
    return QString();
}

} // namespace

class PackageDownloaderTest : public QObject {
    Q_OBJECT

private slots:
    void stagesAVerifiedPackage() {
        LoopbackHttpServer server(route);
        QTemporaryDir staging;
        const PackageDownloader downloader(staging.path().toStdString(), nullptr, 2000, 2000);
        UpdateManifest m = manifestFor(server.url("/files/tessaryn-setup.bin?token=1#top"));
        // Upper case still verifies.
        m.sha256 = QString::fromStdString(m.sha256).toUpper().toStdString();
        std::vector<std::pair<std::int64_t, std::int64_t>> progress;
        const std::string path = downloader.downloadAndVerify(
            m,
            [&](std::int64_t done, std::int64_t total) {
                progress.push_back({done, total});
            },
            nullptr);
        QCOMPARE(QString::fromStdString(path), staging.filePath("tessaryn-setup.bin"));
        QVERIFY(TestSupport::readFile(staging.filePath("tessaryn-setup.bin")) ==
                QByteArray::fromStdString(patternBytes(PackageSize)));
        QCOMPARE(QDir(staging.path()).entryList(QDir::Files), QStringList{"tessaryn-setup.bin"});
        QVERIFY(progress.size() >= 4);
        for (std::size_t i = 1; i < progress.size(); ++i)
            QVERIFY(progress[i].first > progress[i - 1].first);
        QCOMPARE(progress.back().first, std::int64_t(PackageSize));
        QCOMPARE(progress.back().second, std::int64_t(PackageSize));
    }

    void failuresLeaveThePreviousPackage_data() {
        QTest::addColumn<QString>("path");
        QTest::addColumn<qint64>("size");
        QTest::addColumn<QString>("digest");
        QTest::addColumn<QString>("error");
        const qint64 n = qint64(PackageSize);
        const QString good = QString::fromStdString(Sha256::hashString(patternBytes(n)));
        const QString bad = QString(64, 'b');
        QTest::newRow("size too small declared")
            << "/p/pkg.bin" << n + 1 << good
            << "Package size mismatch: expected 50001 bytes, received 50000 bytes";
        QTest::newRow("digest") << "/p/pkg.bin" << -1LL << bad
                                << "SHA-256 digest mismatch: expected " + bad + ", computed " +
                                       good;
        QTest::newRow("size checked before digest")
            << "/p/pkg.bin" << n + 5 << bad
            << "Package size mismatch: expected 50005 bytes, received 50000 bytes";
        QTest::newRow("http error")
            << "/missing" << n << good << "Download failed: HTTP server returned error status 404";
    }

    void failuresLeaveThePreviousPackage() {
        QFETCH(QString, path);
        QFETCH(qint64, size);
        QFETCH(QString, digest);
        QFETCH(QString, error);
        LoopbackHttpServer server(route);
        QTemporaryDir staging;
        const QString name = QFileInfo(path).fileName();
        QVERIFY(TestSupport::writeFile(staging.filePath(name), "previous good package"));
        const PackageDownloader downloader(staging.path().toStdString(), nullptr, 2000, 2000);
        UpdateManifest m = manifestFor(server.url(path.toStdString()));
        m.sizeBytes = size;
        m.sha256 = digest.toStdString();
        QCOMPARE(runExpectingFailure(downloader, m), error);
        QCOMPARE(TestSupport::readFile(staging.filePath(name)),
                 QByteArray("previous good package"));
        QVERIFY(!QFileInfo::exists(staging.filePath(name + ".part")));
    }

    // An endless or oversized answer stops once it passes the declared size.
    void oversizedBodyAbortsEarly() {
        LoopbackHttpServer server(route);
        QTemporaryDir staging;
        const PackageDownloader downloader(staging.path().toStdString(), nullptr, 2000, 2000);
        UpdateManifest m = manifestFor(server.url("/huge"));
        m.sizeBytes = 20000;
        std::int64_t lastProgress = 0;
        const QString error = runExpectingFailure(
            downloader, m, nullptr, [&](std::int64_t done, std::int64_t) { lastProgress = done; });
        const QRegularExpression text(
            "^Package size mismatch: expected 20000 bytes, received (\\d+) bytes$");
        const QRegularExpressionMatch match = text.match(error);
        QVERIFY2(match.hasMatch(), qPrintable(error));
        QVERIFY(match.captured(1).toLongLong() <= 20000 + qint64(HttpTransport::ChunkSize));
        QVERIFY(lastProgress <= 20000);
        QVERIFY(QDir(staging.path()).entryList(QDir::Files).isEmpty());
    }

    void cancelLeavesNothing() {
        LoopbackHttpServer server(route);
        QTemporaryDir staging;
        const PackageDownloader downloader(staging.path().toStdString(), nullptr, 2000, 10000);
        const UpdateManifest m = manifestFor(server.url("/stall/pkg.bin"));
        std::atomic<bool> cancel{true};
        QCOMPARE(runExpectingFailure(downloader, m, &cancel),
                 QString("Download cancelled before start"));
        QVERIFY(server.requests().empty());

        cancel = false;
        const auto cancelOnProgress = [&](std::int64_t, std::int64_t) { cancel = true; };
        QCOMPARE(runExpectingFailure(downloader, m, &cancel, cancelOnProgress),
                 QString("Download cancelled"));
        QVERIFY(QDir(staging.path()).entryList(QDir::Files).isEmpty());
    }

    void fileNamesFromHostileUrls_data() {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("name");
        QTest::newRow("query") << "/get/download?id=7&x=/y"
                               << "download";
        QTest::newRow("folder") << "/get/"
                                << "tessaryn.exe";
        QTest::newRow("colon") << "/get/setup:latest"
                               << "setup_latest";
        QTest::newRow("three dots") << "/get/..."
                                    << "_.";
        QTest::newRow("two dots") << "/get/.."
                                  << "tessaryn.exe";
        QTest::newRow("encoded traversal") << "/get/..%2F..%2Fbashrc"
                                           << "_%2F_%2Fbashrc";
        QTest::newRow("backslash") << "/get/a\\..\\b.exe"
                                   << "b.exe";
        QTest::newRow("reserved") << "/get/a|b*c<d>e\"f"
                                  << "a_b_c_d_e_f";
        QTest::newRow("non-ascii") << "/get/caf\xc3\xa9.bin"
                                   << "caf__.bin";
    }

    void fileNamesFromHostileUrls() {
        QFETCH(QString, path);
        QFETCH(QString, name);
        LoopbackHttpServer server(route);
        QTemporaryDir staging;
        const PackageDownloader downloader(staging.path().toStdString(), nullptr, 2000, 2000);
        const UpdateManifest m = manifestFor(server.url(path.toUtf8().toStdString()));
        const std::string staged = downloader.downloadAndVerify(m, {}, nullptr);
        QCOMPARE(QString::fromStdString(staged), staging.filePath(name));
        QCOMPARE(QDir(staging.path()).entryList(QDir::Files), QStringList{name});
    }

    void automaticStagingFolder_data() {
        QTest::addColumn<QString>("xdg");
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("expected");
        QTest::newRow("cache home") << "$T/cache"
                                    << "tessaryn"
                                    << "$T/cache/tessaryn/selfupdate/tessaryn";
        QTest::newRow("relative cache home ignored")
            << "cache"
            << "tessaryn"
            << "$T/home/.cache/tessaryn/selfupdate/tessaryn";
        QTest::newRow("unset") << ""
                               << ""
                               << "$T/home/.cache/tessaryn/selfupdate/default";
        QTest::newRow("key cannot climb") << "$T/cache"
                                          << "../../.ssh"
                                          << "$T/cache/tessaryn/selfupdate/____.ssh";
    }

    // In the user's own cache folder, each level created private to the user.
    void automaticStagingFolder() {
        QFETCH(QString, xdg);
        QFETCH(QString, key);
        QFETCH(QString, expected);
        QTemporaryDir root;
        const QByteArray oldHome = qgetenv("HOME");
        const QByteArray oldXdg = qgetenv("XDG_CACHE_HOME");
        qputenv("HOME", root.filePath("home").toUtf8());
        qputenv("XDG_CACHE_HOME", xdg.replace("$T", root.path()).toUtf8());
        LoopbackHttpServer server(route);
        const PackageDownloader downloader(std::string(), nullptr, 2000, 2000);
        const std::string dir = downloader.resolveStagingDir(key.toStdString());
        UpdateManifest m = manifestFor(server.url("/pkg.bin"));
        m.slug = key.toStdString();
        m.applicationId = key.isEmpty() ? std::string() : m.applicationId;
        const std::string staged = downloader.downloadAndVerify(m, {}, nullptr);
        qputenv("HOME", oldHome);
        qputenv("XDG_CACHE_HOME", oldXdg);
        QCOMPARE(QString::fromStdString(dir), expected.replace("$T", root.path()));
        QCOMPARE(QString::fromStdString(staged), QDir(expected).filePath("pkg.bin"));
        QDir level(expected);
        for (int i = 0; i < 3; ++i, level.cdUp()) {
            struct stat info = {};
            QCOMPARE(::lstat(QFile::encodeName(level.path()).constData(), &info), 0);
            QCOMPARE(int(info.st_mode & 0777), 0700);
        }
    }

    void stagingFolderMustBePrivate() {
        LoopbackHttpServer server(route);
        QTemporaryDir root;
        const UpdateManifest m = manifestFor(server.url("/pkg.bin"));

        // A folder others can write into is made private before anything lands in it.
        const QString open = root.filePath("open");
        QVERIFY(QDir().mkpath(open));
        QVERIFY(::chmod(QFile::encodeName(open).constData(), 0777) == 0);
        PackageDownloader(open.toStdString(), nullptr, 2000, 2000)
            .downloadAndVerify(m, {}, nullptr);
        struct stat info = {};
        QCOMPARE(::stat(QFile::encodeName(open).constData(), &info), 0);
        QCOMPARE(int(info.st_mode & 0777), 0700);

        // A link in the folder's place could lead anywhere: refused.
        const QString link = root.filePath("link");
        QVERIFY(QFile::link(open, link));
        const QString error =
            runExpectingFailure(PackageDownloader(link.toStdString(), nullptr, 2000, 2000), m);
        QCOMPARE(error, "Failed to create staging directory '" + link +
                            "': not a folder owned by this user");

        // Another user's folder (only root can make one here).
        if (::geteuid() == 0) {
            const QString foreign = root.filePath("foreign");
            QVERIFY(QDir().mkpath(foreign));
            QVERIFY(::chown(QFile::encodeName(foreign).constData(), 65534, 65534) == 0);
            QCOMPARE(runExpectingFailure(
                         PackageDownloader(foreign.toStdString(), nullptr, 2000, 2000), m),
                     "Failed to create staging directory '" + foreign +
                         "': not a folder owned by this user");
        }
    }
    // Names from the catalog and the URL never lead out of the staging folder.
    void hostileNamesStayInsideStaging_data() {
        QTest::addColumn<QByteArray>("slug");
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("name");
        QTest::newRow("climbing slug, url ending in ..")
            << QByteArray("../sibling/evil") << "/get/.."
            << "__sibling_evil.exe";
        QTest::newRow("slug .., url ending in .") << QByteArray("..") << "/get/."
                                                  << "package.exe";
        // $ROOT: the test's own folder, so that even a failing run writes nowhere else.
        QTest::newRow("absolute slug, url ending in /")
            << QByteArray("$ROOT/sibling/evil") << "/get/"
            << "_ROOT_sibling_evil.exe";
        QTest::newRow("backslash slug, query") << QByteArray("..\\..\\evil") << "/get/..?x=/.."
                                               << "____evil.exe";
        QTest::newRow("nul and control bytes") << QByteArray("ev\0il\n", 6) << "/get/.."
                                               << "ev_il_.exe";
    }

    void hostileNamesStayInsideStaging() {
        QFETCH(QByteArray, slug);
        QFETCH(QString, path);
        QFETCH(QString, name);
        LoopbackHttpServer server(route);
        QTemporaryDir root;
        const QString staging = root.filePath("staging");
        QVERIFY(QDir().mkpath(root.filePath("sibling")));
        const PackageDownloader downloader(staging.toStdString(), nullptr, 2000, 2000);
        UpdateManifest m = manifestFor(server.url(path.toStdString()));
        m.slug = slug.replace("$ROOT", QFile::encodeName(root.path())).toStdString();
        name.replace("_ROOT_", QString(root.path()).replace('/', '_') + "_");
        const std::string staged = downloader.downloadAndVerify(m, {}, nullptr);
        QCOMPARE(QString::fromStdString(staged), staging + "/" + name);
        QCOMPARE(QDir(staging).entryList(QDir::Files), QStringList{name});
        QVERIFY(QDir(root.filePath("sibling")).isEmpty(QDir::AllEntries | QDir::NoDotAndDotDot));
        QCOMPARE(QDir(root.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot),
                 (QStringList{"sibling", "staging"}));
    }

    // Without a declared size, a configurable limit bounds what reaches the disk.
    void unsizedPackagesHaveALimit_data() {
        QTest::addColumn<QString>("path");
        QTest::addColumn<bool>("accepted");
        QTest::newRow("within the limit") << "/pkg.bin" << true;
        QTest::newRow("over, without length") << "/huge" << false;
        QTest::newRow("over, announced by its length") << "/huge-with-length" << false;
    }

    void unsizedPackagesHaveALimit() {
        QFETCH(QString, path);
        QFETCH(bool, accepted);
        LoopbackHttpServer server(route);
        QTemporaryDir staging;
        const PackageDownloader downloader(staging.path().toStdString(), nullptr, 2000, 2000,
                                           1024 * 1024);
        UpdateManifest m = manifestFor(server.url(path.toStdString()));
        m.sizeBytes = -1;
        std::int64_t lastProgress = 0;
        const QString error = runExpectingFailure(
            downloader, m, nullptr, [&](std::int64_t done, std::int64_t) { lastProgress = done; });
        QCOMPARE(error,
                 accepted ? QString() : QString("Package exceeds the limit of 1048576 bytes"));
        QVERIFY(lastProgress <= 1024 * 1024);
        QCOMPARE(QDir(staging.path()).entryList(QDir::Files).size(), accepted ? 1 : 0);
    }
};

QTEST_GUILESS_MAIN(PackageDownloaderTest)
#include "tst_packagedownloader.moc"
