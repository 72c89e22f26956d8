// The headless road, run as a user's script would: tessaryn-cli as a child process over clips
// the test generates, a loopback stand-in for Gemini, the real ffmpeg and ffprobe.
#include "TestSupport.h"
#include "ai/GeminiStandIn.h"
#include "media/MediaTestSupport.h"
#include "workspace/Workspace.h"
#include "workspace/WorkspaceLock.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

using namespace Tessaryn;

namespace {

struct CliRun {
    int exitCode = -1;
    QString out;
    QString err;
};

QByteArray compact(const QJsonObject& o) {
    return QJsonDocument(o).toJson(QJsonDocument::Compact);
}

// A model answer for a 3-second clip: 1 s kept, 1.5 s at ten times, 0.5 s cut.
QList<CannedAnswer> analysisAnswers(const QString& summary) {
    const QJsonArray segments{QJsonObject{{"source_start", 0.0},
                                          {"source_end", 1.0},
                                          {"classification", "milestone"},
                                          {"description", "Start"}},
                              QJsonObject{{"source_start", 1.0},
                                          {"source_end", 2.5},
                                          {"classification", "repetitive_assembly"},
                                          {"description", "Screws"}},
                              QJsonObject{{"source_start", 2.5},
                                          {"source_end", 3.0},
                                          {"classification", "static_pause"},
                                          {"description", "Pause"}}};
    const QString text = QString::fromUtf8(compact({{"summary", summary}, {"segments", segments}}));
    const QJsonObject content{{"parts", QJsonArray{QJsonObject{{"text", text}}}}};
    const QJsonObject answer{{"candidates", QJsonArray{QJsonObject{{"content", content}}}}};
    const QJsonObject file{
        {"name", "files/c"}, {"uri", "https://files.example/files/c"}, {"state", "ACTIVE"}};
    return GeminiStandIn::analysis(compact({{"file", file}}), compact(answer));
}

} // namespace

class CliTest : public QObject {
    Q_OBJECT

    QTemporaryDir dir;
    GeminiStandIn gemini;
    QString footage;

    CliRun cli(const QStringList& arguments, int timeoutMs = 120000) {
        QProcess process;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("HOME", dir.filePath("home"));
        env.insert("XDG_CONFIG_HOME", dir.filePath("config"));
        env.insert("DBUS_SESSION_BUS_ADDRESS", "unix:path=/nonexistent/bus");
        env.insert("GEMINI_API_KEY", "test-key-123");
        env.insert("TESSARYN_GEMINI_BASE_URL", gemini.baseUrl());
        process.setProcessEnvironment(env);
        process.start(TESSARYN_CLI, arguments);
        // The stand-in answers on this thread: the loop must run while the child works.
        if (!waitUntil([&] { return process.state() == QProcess::NotRunning; }, timeoutMs)) {
            process.kill();
            process.waitForFinished();
        }
        CliRun run;
        run.exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
        run.out = QString::fromUtf8(process.readAllStandardOutput());
        run.err = QString::fromUtf8(process.readAllStandardError());
        return run;
    }

    QJsonObject status(const QString& workspace) {
        const CliRun run = cli({"status", workspace, "--json"});
        return QJsonDocument::fromJson(run.out.toUtf8()).object();
    }

private slots:
    void initTestCase() {
        QVERIFY(dir.isValid());
        QVERIFY(gemini.start());
        footage = dir.filePath("footage");
        QDir().mkpath(footage);
        for (const char* name : {"Reel_A", "Reel_B"})
            QVERIFY(MediaTestSupport::generateClip(QDir(footage).filePath(QString(name) + ".mp4"),
                                                   160, 120, 10, 3.0));
    }

    void usageErrorsExitWithTwoAndOneLine_data() {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QString>("says");
        QTest::newRow("no command") << QStringList{} << "no command";
        QTest::newRow("unknown command") << QStringList{"cut", "x"} << "unknown command";
        QTest::newRow("no workspace") << QStringList{"render"} << "needs a workspace";
        QTest::newRow("create without footage") << QStringList{"create", "x"} << "--footage";
        QTest::newRow("unknown option") << QStringList{"stitch", "x", "--fast"} << "--fast";
        QTest::newRow("jobs zero") << QStringList{"render", "x", "--jobs", "0"} << "--jobs";
        QTest::newRow("bad axis") << QStringList{"export", "x", "--format", "csv", "--axis", "up"}
                                  << "--axis";
        QTest::newRow("whole with reels")
            << QStringList{"export", "x", "--format", "edl", "--whole", "--reel", "A"} << "--whole";
        QTest::newRow("missing workspace")
            << QStringList{"status", "/nonexistent/ws"} << "no workspace";
    }

    void usageErrorsExitWithTwoAndOneLine() {
        QFETCH(QStringList, arguments);
        QFETCH(QString, says);
        const CliRun run = cli(arguments);
        QCOMPARE(run.exitCode, 2);
        QVERIFY(run.out.isEmpty());
        QCOMPARE(run.err.count('\n'), 1);
        QVERIFY2(run.err.contains(says), qPrintable(run.err));
    }

    void helpOnEveryCommand() {
        for (const char* command : {"create", "analyze", "render", "export", "stitch", "status"}) {
            const CliRun run = cli({command, "--help"});
            QCOMPARE(run.exitCode, 0);
            QVERIFY2(run.out.startsWith(QStringLiteral("usage: tessaryn-cli ") + command),
                     qPrintable(run.out));
        }
    }

    void wholeRoadFromCreateToMaster() {
        const QString ws = dir.filePath("road");
        CliRun run = cli({"create", ws, "--footage", footage, "--name", "Road"});
        QCOMPARE(run.exitCode, 0);
        QCOMPARE(status(ws).value("reels").toArray().size(), 2);

        gemini.answers = analysisAnswers("A") + analysisAnswers("B");
        run = cli({"analyze", ws});
        QVERIFY2(run.exitCode == 0, qPrintable(run.err));
        QVERIFY2(run.err.contains(QRegularExpression("analyze Reel_A: \\d+% ")),
                 qPrintable(run.err));
        QVERIFY(!run.err.contains('\r'));
        QCOMPARE(run.out.split('\n', Qt::SkipEmptyParts).size(), 2);

        run = cli({"render", ws, "--jobs", "2"});
        QVERIFY2(run.exitCode == 0, qPrintable(run.err));
        QVERIFY(run.err.contains(QRegularExpression("render Reel_B: \\d+%")));

        run = cli({"export", ws, "--format", "csv", "--axis", "edited"});
        QCOMPARE(run.exitCode, 0);
        const QStringList csvs = run.out.split('\n', Qt::SkipEmptyParts);
        QCOMPARE(csvs.size(), 2);
        const QByteArray csv = TestSupport::readFile(csvs[0]);
        QVERIFY(csv.startsWith("Record In,Record Out"));
        // On the clip's own 10 fps grid: 15 frames at ten times are 2 frames, from 1 s on.
        QVERIFY2(csv.contains("\"00:00:01:00\",\"00:00:01:02\",\"Screws\""), csv.constData());
        run = cli({"export", ws, "--reel", "Reel_B", "--format", "srt"});
        QCOMPARE(run.exitCode, 0);
        QCOMPARE(run.out.split('\n', Qt::SkipEmptyParts).size(), 2);
        run = cli({"export", ws, "--format", "edl", "--axis", "edited"});
        QCOMPARE(run.exitCode, 0);
        const QStringList edls = run.out.split('\n', Qt::SkipEmptyParts);
        QCOMPARE(edls.size(), 2);
        QVERIFY(edls[0].endsWith("_edited.edl"));
        const QByteArray edl = TestSupport::readFile(edls[0]);
        QVERIFY2(edl.contains("01:00:01:00 01:00:01:01") && edl.contains("|M:Screws |D:2"),
                 edl.constData());
        run = cli({"export", ws, "--format", "aaf"});
        QCOMPARE(run.exitCode, 2);
        QVERIFY(run.err.contains("unknown format"));

        run = cli({"stitch", ws});
        QVERIFY2(run.exitCode == 0, qPrintable(run.err));
        const QString master = run.out.trimmed();
        QVERIFY(master.startsWith(ws));
        QVERIFY(qAbs(MediaTestSupport::formatDuration(master) - 2 * 1.15) < 0.25);

        // The whole workspace's markers line up with the master: Reel_B's begin where Reel_A's
        // cut ends.
        run = cli({"export", ws, "--format", "edl", "--whole", "--axis", "edited"});
        QVERIFY2(run.exitCode == 0, qPrintable(run.err));
        QVERIFY2(run.err.contains("2 reels in order: Reel_A, Reel_B"), qPrintable(run.err));
        const QByteArray whole = TestSupport::readFile(run.out.trimmed());
        QCOMPARE(whole.count("|M:Screws"), 2);
        const QString firstCut = status(ws)
                                     .value("reels")
                                     .toArray()
                                     .first()
                                     .toObject()
                                     .value("rendered_path")
                                     .toString();
        const qint64 cutFrames = qRound(MediaTestSupport::formatDuration(firstCut) * 10);
        const QString secondOpen = QStringLiteral("01:00:%1:%2")
                                       .arg((cutFrames + 10) / 10, 2, 10, QLatin1Char('0'))
                                       .arg((cutFrames + 10) % 10, 2, 10, QLatin1Char('0'));
        QVERIFY2(whole.contains(secondOpen.toUtf8() + " "), whole.constData());

        const QJsonObject doc = status(ws);
        QCOMPARE(doc.value("master_path").toString(), master);
        for (const QJsonValue& reel : doc.value("reels").toArray()) {
            const QJsonObject r = reel.toObject();
            QCOMPARE(r.value("status").toString(), QString("Completed"));
            QCOMPARE(r.value("edited_duration").toDouble(), 1.15);
            QVERIFY(QFileInfo::exists(r.value("rendered_path").toString()));
        }
    }

    void failedJobExitsWithOne() {
        const QString ws = dir.filePath("failing");
        QCOMPARE(cli({"create", ws, "--footage", footage}).exitCode, 0);
        gemini.answers = {{400, "{\"error\":{\"code\":400,\"message\":\"down\"}}"}};
        CliRun run = cli({"analyze", ws, "--reel", "Reel_A"});
        QCOMPARE(run.exitCode, 1);
        QVERIFY2(run.err.contains("analyze Reel_A: failed:"), qPrintable(run.err));
        run = cli({"render", ws, "--reel", "Reel_B"});
        QCOMPARE(run.exitCode, 1);
        QVERIFY(run.err.contains("not analysed"));
        QCOMPARE(cli({"analyze", ws, "--reel", "Nope"}).exitCode, 2);
        QCOMPARE(cli({"analyze", ws, "--analyzer", "oracle"}).exitCode, 2);
    }

    // Two processes on one project, each on its own reel: neither disturbs the other, and the
    // project's statuses come from the files they wrote.
    void twoRendersOnOneWorkspaceAtOnce() {
        const QString ws = dir.filePath("parallel");
        QCOMPARE(cli({"create", ws, "--footage", footage}).exitCode, 0);
        gemini.answers = analysisAnswers("A") + analysisAnswers("B");
        QCOMPARE(cli({"analyze", ws}).exitCode, 0);

        QProcess a;
        QProcess b;
        a.start(TESSARYN_CLI, {"render", ws, "--reel", "Reel_A"});
        b.start(TESSARYN_CLI, {"render", ws, "--reel", "Reel_B"});
        QVERIFY(a.waitForFinished(120000));
        QVERIFY(b.waitForFinished(120000));
        QCOMPARE(a.exitCode(), 0);
        QCOMPARE(b.exitCode(), 0);

        Workspace workspace;
        workspace.remembersRecent = false;
        QVERIFY(workspace.load(ws));
        for (const Reel& reel : std::as_const(workspace.reels)) {
            QCOMPARE(reel.status, ReelStatus::Completed);
            QVERIFY(qAbs(MediaTestSupport::formatDuration(reel.rendered_path) - 1.15) < 0.15);
        }

        // A reel another process holds is left alone, and its cut stays as it was.
        const QString cut = workspace.reels.first().rendered_path;
        const QByteArray before = TestSupport::readFile(cut);
        WorkspaceLock held(WorkspaceLock::reelLockPath(ws, "Reel_A_timeline", "render"));
        QVERIFY(held.tryLock());
        const CliRun busy = cli({"render", ws, "--reel", "Reel_A"});
        QCOMPARE(busy.exitCode, 1);
        QVERIFY2(busy.err.contains("another process"), qPrintable(busy.err));
        QCOMPARE(TestSupport::readFile(cut), before);
    }

    // A `kill` mid-render ends ffmpeg and leaves no partial cut behind.
    void terminationEndsTheRenderCleanly() {
        const QString ws = dir.filePath("terminated");
        QCOMPARE(cli({"create", ws, "--footage", footage}).exitCode, 0);
        // One second played five hundred times slower: a render that runs for a long while.
        const QJsonObject slow{{"source_start", 0.0},           {"source_end", 1.0},
                               {"classification", "milestone"}, {"speed_factor", 0.002},
                               {"edited_start", 0.0},           {"edited_end", 500.0}};
        QVERIFY(TestSupport::writeFile(
            QDir(ws).filePath("timelines/Reel_A_timeline.json"),
            compact({{"segments", QJsonArray{slow}}, {"total_edited_duration", 500.0}})));
        QProcess render;
        render.start(TESSARYN_CLI, {"render", ws, "--reel", "Reel_A"});
        QString err;
        QVERIFY(waitUntil(
            [&] {
                err += QString::fromUtf8(render.readAllStandardError());
                return err.contains("%");
            },
            60000));
        render.terminate();
        QVERIFY(render.waitForFinished(10000));
        QCOMPARE(render.exitCode(), 128 + 15);
        const QStringList left = QDir(QDir(ws).filePath("rendered"))
                                     .entryList(QDir::Files | QDir::Hidden | QDir::System);
        QVERIFY2(left.isEmpty(), qPrintable(left.join(", ")));
    }
};

QTEST_GUILESS_MAIN(CliTest)
#include "tst_cli.moc"
