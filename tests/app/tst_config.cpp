#include "TestSupport.h"
#include "app/Config.h"

#include <QApplication>
#include <QSettings>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

using namespace Tessaryn;

class ConfigTest : public QObject {
    Q_OBJECT

private:
    QTemporaryDir settingsDir;
    QTemporaryDir dir;

    static QColor pixel(const QPixmap& pm, int x, int y) { return pm.toImage().pixelColor(x, y); }

    static bool near(const QColor& a, const QColor& b, int tolerance = 8) {
        return qAbs(a.red() - b.red()) <= tolerance && qAbs(a.green() - b.green()) <= tolerance &&
               qAbs(a.blue() - b.blue()) <= tolerance && qAbs(a.alpha() - b.alpha()) <= tolerance;
    }

private slots:
    void initTestCase() { TestSupport::isolateSettings(settingsDir.path()); }

    void projectsRoot_data() {
        QTest::addColumn<QString>("appDir");
        QTest::addColumn<QString>("documents");
        QTest::addColumn<bool>("writable");
        QTest::addColumn<QString>("expected");

        QTest::newRow("build/windows") << "/w/repo/build/windows"
                                       << "/home/u/Documents" << true << "/w/repo/projects";
        QTest::newRow("build/bin") << "/w/repo/build/bin"
                                   << "/docs" << true << "/w/repo/projects";
        QTest::newRow("build/linux") << "/w/repo/build/linux"
                                     << "/docs" << true << "/w/repo/projects";
        QTest::newRow("bin not under build") << "/w/app/bin"
                                             << "/docs" << true << "/w/app/projects";
        QTest::newRow("capital Bin stays") << "/w/app/Bin"
                                           << "/docs" << true << "/w/app/Bin/projects";
        QTest::newRow("any other folder") << "/w/portable"
                                          << "/docs" << true << "/w/portable/projects";
        QTest::newRow("build alone stays") << "/w/repo/build"
                                           << "/docs" << true << "/w/repo/build/projects";
        QTest::newRow("Program Files") << "C:/Program Files/Tessaryn"
                                       << "/docs" << true << "/docs/Tessaryn/projects";
        QTest::newRow("program files, lower case") << "D:/apps/program files (x86)/Tessaryn/bin"
                                                   << "/docs" << true << "/docs/Tessaryn/projects";
        QTest::newRow("installed but no documents folder")
            << "C:/Program Files/Tessaryn/bin"
            << "" << true << "C:/Program Files/Tessaryn/projects";
#ifndef _WIN32
        // An installed program on Linux cannot keep projects beside itself.
        QTest::newRow("under /usr")
            << "/usr/bin"
            << "/home/u/Documents" << true << "/home/u/Documents/Tessaryn/projects";
        QTest::newRow("under /opt")
            << "/opt/tessaryn/bin"
            << "/home/u/Documents" << true << "/home/u/Documents/Tessaryn/projects";
        QTest::newRow("folder the user cannot write")
            << "/srv/apps/tessaryn"
            << "/home/u/Documents" << false << "/home/u/Documents/Tessaryn/projects";
        QTest::newRow("user's own build under /usr-like name")
            << "/home/u/usr/build/bin"
            << "/home/u/Documents" << true << "/home/u/usr/projects";
#endif
    }

    void projectsRoot() {
        QFETCH(QString, appDir);
        QFETCH(QString, documents);
        QFETCH(bool, writable);
        QFETCH(QString, expected);
        QCOMPARE(Config::projectsRootFor(appDir, documents, writable), expected);
    }

    void projectsRootOfThisProcessIsNotCreated() {
        const QString root = Config::getProjectsRoot();
        QVERIFY(root.endsWith("projects"));
        QCOMPARE(root, QDir(QCoreApplication::applicationDirPath()).filePath("projects"));
        QVERIFY(!QFileInfo::exists(root));
    }

    void recentWorkspaceFallsBackToOlderNames() {
        QCOMPARE(Config::getRecentWorkspacePath(), QString());
        QSettings("Tolvane", "Quorvane Studio").setValue("recentWorkspace", "/oldest");
        QCOMPARE(Config::getRecentWorkspacePath(), QString("/oldest"));
        QSettings("Tolvane", "Brassmoor").setValue("recentWorkspace", "/older");
        QCOMPARE(Config::getRecentWorkspacePath(), QString("/older"));
        Config::setRecentWorkspacePath("/current");
        QCOMPARE(Config::getRecentWorkspacePath(), QString("/current"));
        QCOMPARE(QSettings("Tolvane", "Tessaryn").value("recentWorkspace").toString(),
                 QString("/current"));
        // The older entries are read, never rewritten.
        QCOMPARE(QSettings("Tolvane", "Brassmoor").value("recentWorkspace").toString(),
                 QString("/older"));
    }

    // Footage is looked for on the footage drive on Windows, in the user's Videos folder
    // elsewhere; never on a drive letter a Linux user does not have.
    void defaultFootageFolder() {
        const QString folder = Config::defaultFootageFolder();
#ifdef _WIN32
        QCOMPARE(folder, QString("W:/"));
#else
        QVERIFY(!folder.contains(':'));
        const QString videos = QStandardPaths::writableLocation(QStandardPaths::MoviesLocation);
        QCOMPARE(folder, videos.isEmpty() ? QDir::homePath() : videos);
#endif
    }

    void colours() {
        QCOMPARE(Config::COLOR_GOLD, QColor("#D4AF37"));
        QCOMPARE(Config::COLOR_PAUSE_RED, QColor("#E74C3C"));
        QCOMPARE(Config::COLOR_TEXT_MUTED, QColor("#A0A5AF"));
        QCOMPARE(Config::COLOR_ACCENT_GREEN, QColor("#2ECC71"));
    }

    void fallbackLogoGeometry_data() {
        QTest::addColumn<int>("size");
        QTest::addColumn<int>("inset");
        QTest::addColumn<QPoint>("triangleInside");
        QTest::addColumn<QPoint>("triangleOutside");
        // At 64: rounded square at 4 with side 56, triangle (26,20) (26,44) (44,32).
        QTest::newRow("64") << 64 << 4 << QPoint(30, 32) << QPoint(23, 32);
        // At 180: inset 11, side 158, triangle (72,54) (72,126) (126,90).
        QTest::newRow("180") << 180 << 11 << QPoint(90, 90) << QPoint(68, 90);
    }

    void fallbackLogoGeometry() {
        QFETCH(int, size);
        QFETCH(int, inset);
        QFETCH(QPoint, triangleInside);
        QFETCH(QPoint, triangleOutside);
        const QPixmap pm = Config::paintFallbackLogo(size);
        QCOMPARE(pm.size(), QSize(size, size));
        const QColor body(20, 22, 30);
        QCOMPARE(pixel(pm, 0, 0).alpha(), 0); // outside the square: transparent
        QCOMPARE(pixel(pm, size - 1, size - 1).alpha(), 0);
        QVERIFY(near(pixel(pm, triangleInside.x(), triangleInside.y()), Config::COLOR_GOLD));
        QVERIFY(near(pixel(pm, triangleOutside.x(), triangleOutside.y()), body));
        // The gold outline runs along the square's left edge at mid height.
        QVERIFY(near(pixel(pm, inset, size / 2), Config::COLOR_GOLD, 40));
        QCOMPARE(pixel(pm, inset / 2, size / 2).alpha(), 0);
    }

    void logoSizesClampAndFit_data() {
        QTest::addColumn<int>("requested");
        QTest::addColumn<int>("expected");
        QTest::newRow("zero") << 0 << 180;
        QTest::newRow("negative") << -5 << 180;
        QTest::newRow("72") << 72 << 72;
        QTest::newRow("44") << 44 << 44;
    }

    void logoSizesClampAndFit() {
        QFETCH(int, requested);
        QFETCH(int, expected);
        const QPixmap pm = Config::getAppLogoPixmap(requested);
        QVERIFY(!pm.isNull());
        QVERIFY(pm.width() <= expected && pm.height() <= expected);
        QVERIFY(pm.width() == expected || pm.height() == expected);
    }

    void embeddedResourcesArePresent() {
        QVERIFY(!QPixmap(":/resources/quorvane_studio_logo.png").isNull());
        QVERIFY(!QIcon(":/resources/app.ico").availableSizes().isEmpty());
        QVERIFY(!Config::getAppIcon().isNull());
    }

    void candidatesAreTriedInOrder() {
        const QString a = dir.filePath("a/app.ico");
        const QString corrupt = dir.filePath("b/app.ico");
        const QString good = dir.filePath("c/logo.png");
        QVERIFY(TestSupport::writeFile(corrupt, "this is not an icon"));
        QPixmap red(40, 20);
        red.fill(Qt::red);
        QVERIFY(QDir().mkpath(dir.filePath("c")));
        QVERIFY(red.save(good));

        const QPixmap pm = Config::loadFirstPixmap({a, corrupt, good}, 64);
        QCOMPARE(pm.size(), QSize(64, 32)); // aspect ratio kept
        QCOMPARE(pixel(pm, 10, 10), QColor(Qt::red));
        QVERIFY(Config::loadFirstPixmap({a, corrupt}, 64).isNull());
        QVERIFY(Config::loadFirstIcon({a, corrupt}).isNull());
        QVERIFY(!Config::loadFirstIcon({corrupt, ":/resources/app.ico"}).isNull());
    }

    void candidateOrder() {
        const QStringList logo = Config::logoCandidates("/x/bin");
        QCOMPARE(logo.size(), 10);
        QCOMPARE(logo.first(), QString("/x/bin/resources/quorvane_studio_logo.png"));
        QCOMPARE(logo.at(3), QString("/x/bin/app.ico"));
        QCOMPARE(logo.last(), QString(":/resources/app.ico"));
        QCOMPARE(Config::logoCandidates(QString()).size(), 4);
        QCOMPARE(Config::iconCandidates("/x/bin"),
                 (QStringList{"/x/bin/app.ico", "/x/bin/resources/app.ico",
                              "/x/bin/../../resources/app.ico", "resources/app.ico"}));
    }
};

QTEST_MAIN(ConfigTest)
#include "tst_config.moc"
