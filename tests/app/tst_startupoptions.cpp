#include "TestSupport.h"
#include "app/StartupOptions.h"

#include <QTemporaryDir>
#include <QtTest>

#include <vector>

using namespace Tessaryn;

class StartupOptionsTest : public QObject {
    Q_OBJECT

private:
    QTemporaryDir dir;

private slots:
    void versionQuery_data() {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<bool>("expected");
        QTest::newRow("none") << QStringList{} << false;
        QTest::newRow("--version") << QStringList{"--version"} << true;
        QTest::newRow("-v") << QStringList{"-v"} << true;
        QTest::newRow("anywhere") << QStringList{"ws", "--self-test", "-v"} << true;
        QTest::newRow("-vx is no query") << QStringList{"-vx"} << false;
        QTest::newRow("-version is no query") << QStringList{"-version"} << false;
        QTest::newRow("--Version is no query") << QStringList{"--Version"} << false;
    }

    void versionQuery() {
        QFETCH(QStringList, args);
        QFETCH(bool, expected);
        std::vector<QByteArray> storage{QByteArray("tessaryn")};
        for (const QString& a : args)
            storage.push_back(a.toUtf8());
        std::vector<const char*> argv;
        for (const QByteArray& s : storage)
            argv.push_back(s.constData());
        QCOMPARE(StartupOptions::isVersionQuery(int(argv.size()), argv.data()), expected);
    }

    void argumentWalk_data() {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<bool>("selfTest");
        QTest::addColumn<QString>("path");
        QTest::newRow("nothing") << QStringList{"app"} << false << QString();
        QTest::newRow("first path wins") << QStringList{"app", "one", "two"} << false << "one";
        QTest::newRow("options ignored") << QStringList{"app", "--x", "-vx", "ws"} << false << "ws";
        QTest::newRow("self-test with path")
            << QStringList{"app", "ws", "--self-test"} << true << "ws";
        QTest::newRow("self-test is case-sensitive")
            << QStringList{"app", "--Self-Test"} << false << QString();
        QTest::newRow("program name is not a path")
            << QStringList{"/bin/app"} << false << QString();
    }

    void argumentWalk() {
        QFETCH(QStringList, args);
        QFETCH(bool, selfTest);
        QFETCH(QString, path);
        const StartupOptions o = StartupOptions::fromArguments(args);
        QCOMPARE(o.selfTest, selfTest);
        QCOMPARE(o.workspacePath, path);
    }

    void workspaceChoice_data() {
        QTest::addColumn<QString>("given");
        QTest::addColumn<bool>("selfTest");
        QTest::addColumn<QString>("recent");
        QTest::addColumn<bool>("defaultExists");
        QTest::addColumn<QString>("expected");

        QTest::newRow("given folder") << "given" << false << "recent" << true << "given";
        QTest::newRow("given workspace.json")
            << "given/workspace.json" << false << "recent" << true << "given/workspace.json";
        QTest::newRow("missing given falls to default, not recent")
            << "gone" << false << "recent" << true << "projects/Default_Project";
        QTest::newRow("recent when nothing given") << "" << false << "recent" << true << "recent";
        QTest::newRow("stale recent falls to default")
            << "" << false << "gone" << true << "projects/Default_Project";
        QTest::newRow("nothing exists") << "" << false << "gone" << false << "";
        QTest::newRow("self-test opens nothing") << "" << true << "recent" << true << "";
        QTest::newRow("self-test with path") << "given" << true << "" << true << "given";
        QTest::newRow("self-test with missing path") << "gone" << true << "" << true << "";
    }

    void workspaceChoice() {
        QFETCH(QString, given);
        QFETCH(bool, selfTest);
        QFETCH(QString, recent);
        QFETCH(bool, defaultExists);
        QFETCH(QString, expected);

        QTemporaryDir local;
        QVERIFY(TestSupport::writeFile(local.filePath("given/workspace.json"), "{}"));
        QVERIFY(QDir().mkpath(local.filePath("recent")));
        if (defaultExists)
            QVERIFY(QDir().mkpath(local.filePath("projects/Default_Project")));
        const auto abs = [&](const QString& rel) {
            return rel.isEmpty() ? QString() : local.filePath(rel);
        };

        StartupOptions o;
        o.selfTest = selfTest;
        o.workspacePath = abs(given);
        QCOMPARE(o.workspaceToOpen(abs(recent), local.filePath("projects")), abs(expected));
    }
};

QTEST_GUILESS_MAIN(StartupOptionsTest)
#include "tst_startupoptions.moc"
