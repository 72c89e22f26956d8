// Runs the real studio executable and looks at what a user or a script sees of it.
#include "TestSupport.h"

#include <QProcess>
#include <QSettings>
#include <QTemporaryDir>
#include <QtTest>

class EntryPointTest : public QObject {
    Q_OBJECT

private:
    QTemporaryDir home;
    QString exe;

    struct Run {
        int exitCode = -1;
        QByteArray out;
        bool finished = false;
    };

    QProcessEnvironment environment() const {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("HOME", home.path());
        env.insert("XDG_CONFIG_HOME", home.filePath("config"));
        env.insert("XDG_DOCUMENTS_DIR", home.filePath("Documents"));
        env.insert("QT_QPA_PLATFORM", "offscreen");
        // The start-up update check stays on this machine: nothing listens on port 1.
        env.insert("TESSARYN_UPDATE_CATALOG_URL", "http://127.0.0.1:1/");
        return env;
    }

    Run run(const QString& program, const QStringList& args) {
        QProcess p;
        p.setProcessEnvironment(environment());
        p.start(program, args);
        Run r;
        r.finished = p.waitForFinished(60000);
        if (!r.finished) {
            p.kill();
            p.waitForFinished(5000);
        }
        r.exitCode = p.exitCode();
        r.out = p.readAllStandardOutput();
        return r;
    }

    QString recentWorkspace() const {
        return QSettings(home.filePath("config/Tolvane/Tessaryn.conf"), QSettings::IniFormat)
            .value("recentWorkspace")
            .toString();
    }

    void clearRecent() { QFile::remove(home.filePath("config/Tolvane/Tessaryn.conf")); }

    // A copy of the executable in a folder of the test's own: its projects root and ".old"
    // backup then lie where the test can arrange them.
    QString copyExecutable(const QTemporaryDir& where) {
        const QString copy = where.filePath("app/tessaryn");
        QDir().mkpath(where.filePath("app"));
        if (!QFile::copy(exe, copy))
            return QString();
        return copy;
    }

    static void makeWorkspace(const QString& root, const QString& name) {
        QVERIFY(
            TestSupport::writeFile(root + "/workspace.json",
                                   "{\"project_name\": \"" + name.toUtf8() + "\", \"reels\": []}"));
    }

private slots:
    void initTestCase() {
        exe = QStringLiteral(TESSARYN_EXE);
        QVERIFY2(QFileInfo(exe).isExecutable(), qPrintable(exe));
    }

    void init() { clearRecent(); }

    void versionQuery_data() {
        QTest::addColumn<QStringList>("args");
        QTest::newRow("--version") << QStringList{"--version"};
        QTest::newRow("-v") << QStringList{"-v"};
        QTest::newRow("after other words") << QStringList{"some/workspace", "--self-test", "-v"};
    }

    void versionQuery() {
        QFETCH(QStringList, args);
        const Run r = run(exe, args);
        QVERIFY(r.finished);
        QCOMPARE(r.exitCode, 0);
        QCOMPARE(r.out, QByteArray("Tessaryn 1.1.0\n"));
    }

    void versionQueryComesBeforeBackupCleanup() {
        QTemporaryDir where;
        const QString copy = copyExecutable(where);
        QVERIFY(!copy.isEmpty());
        QVERIFY(TestSupport::writeFile(copy + ".old", "previous version"));

        QCOMPARE(run(copy, {"--version"}).out, QByteArray("Tessaryn 1.1.0\n"));
        QVERIFY(QFileInfo::exists(copy + ".old"));

        const Run r = run(copy, {"--self-test"});
        QCOMPARE(r.out, QByteArray("SELF_TEST_OK Tessaryn 1.1.0\n"));
        QVERIFY(!QFileInfo::exists(copy + ".old"));
    }

    void selfTestOpensNoRememberedOrDefaultWorkspace() {
        QTemporaryDir where;
        const QString copy = copyExecutable(where);
        QVERIFY(!copy.isEmpty());
        makeWorkspace(where.filePath("app/projects/Default_Project"), "Default");

        // "-vx" is no version query; it is ignored like any other option.
        const Run r = run(copy, {"--self-test", "-vx"});
        QVERIFY(r.finished);
        QCOMPARE(r.exitCode, 0);
        QCOMPARE(r.out, QByteArray("SELF_TEST_OK Tessaryn 1.1.0\n"));
        QCOMPARE(recentWorkspace(), QString());
    }

    void selfTestOpensTheGivenWorkspace() {
        QTemporaryDir where;
        makeWorkspace(where.filePath("first"), "First");
        makeWorkspace(where.filePath("second"), "Second");
        const Run r = run(exe, {where.filePath("first"), where.filePath("second"), "--self-test"});
        QCOMPARE(r.exitCode, 0);
        QCOMPARE(r.out, QByteArray("SELF_TEST_OK Tessaryn 1.1.0\n"));
        QCOMPARE(recentWorkspace(), where.filePath("first"));
    }

    void missingWorkspaceFallsToDefaultProject() {
        QTemporaryDir where;
        const QString copy = copyExecutable(where);
        QVERIFY(!copy.isEmpty());
        const QString defaultProject = where.filePath("app/projects/Default_Project");
        makeWorkspace(defaultProject, "Default");

        // Without the self-test the studio keeps running: wait until it has recorded what it
        // opened, then stop it through its own handle.
        QProcess p;
        p.setProcessEnvironment(environment());
        p.start(copy, {where.filePath("does-not-exist")});
        QVERIFY(p.waitForStarted(10000));
        QTRY_COMPARE_WITH_TIMEOUT(recentWorkspace(), defaultProject, 30000);
        p.kill();
        QVERIFY(p.waitForFinished(10000));
    }
};

QTEST_GUILESS_MAIN(EntryPointTest)
#include "tst_entrypoint.moc"
