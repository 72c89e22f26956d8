#include "TestSupport.h"
#include "app/Config.h"
#include "timeline/SafeFile.h"
#include "workspace/Workspace.h"

#include <QDirIterator>
#include <QJsonArray>
#include <QJsonDocument>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

using namespace Tessaryn;

class WorkspaceTest : public QObject {
    Q_OBJECT

private:
    QTemporaryDir settingsDir;
    QTemporaryDir dir;

    QString path(const QString& rel) const { return dir.filePath(rel); }

    static QByteArray timelineJson(const QString& summary) {
        return QJsonDocument(
                   QJsonObject{{"summary", summary},
                               {"total_edited_duration", 4.5},
                               {"segments", QJsonArray{QJsonObject{{"source_start", 1.0},
                                                                   {"source_end", 5.5}}}}})
            .toJson();
    }

    QJsonObject reelObject(const QString& name, int status) const {
        return QJsonObject{{"name", name},
                           {"source_path", path("footage/" + name + ".mp4")},
                           {"duration", 12.5},
                           {"status", status},
                           {"timeline_path", path("proj/timelines/" + name + "_timeline.json")},
                           {"rendered_path", path("proj/rendered/" + name + "_edited.mp4")}};
    }

    // Every file under top except those in the project folder, with its content.
    static QMap<QString, QByteArray> filesOutside(const QString& top, const QString& root) {
        QMap<QString, QByteArray> files;
        QDirIterator it(top, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
        while (it.hasNext()) {
            const QString p = it.next();
            if (!p.startsWith(root + "/"))
                files.insert(p, TestSupport::readFile(p));
        }
        return files;
    }

    void writeWorkspace(const QString& root, const QJsonObject& obj) {
        QVERIFY(TestSupport::writeFile(QDir(root).filePath("workspace.json"),
                                       QJsonDocument(obj).toJson()));
    }

private slots:
    void initTestCase() {
        QVERIFY(settingsDir.isValid());
        QVERIFY(dir.isValid());
        TestSupport::isolateSettings(settingsDir.path());
        QCoreApplication::setOrganizationName("Tolvane");
        QCoreApplication::setApplicationName("Tessaryn");
    }

    void statusTexts() {
        const QList<QPair<int, QString>> cases = {{0, "Pending"},   {1, "Analyzing (Gemini)"},
                                                  {2, "Analyzed"},  {3, "Rendering (FFmpeg)"},
                                                  {4, "Completed"}, {5, "Error"},
                                                  {6, "Unknown"},   {-1, "Unknown"}};
        for (const auto& [value, text] : cases)
            QCOMPARE(Reel::statusText(static_cast<ReelStatus>(value)), text);
    }

    void freshObjectRefusesToSave() {
        Workspace ws;
        QVERIFY(!ws.save());
        QCOMPARE(ws.source_dir, Config::defaultFootageFolder());
        QVERIFY(ws.getReel(0) == nullptr);
        QVERIFY(ws.getReel(-1) == nullptr);
    }

    void createMakesLayoutAndScans() {
        const QString footage = path("c1/footage");
        for (const char* f : {"b take.MOV", "a.mp4", "a.mkv", "notes.txt", ".hidden.mp4",
                              "c.v2.final.m4v", "d.MP4", "e.Mp4"})
            QVERIFY(TestSupport::writeFile(footage + "/" + f, "x"));
        QVERIFY(QDir().mkpath(footage + "/sub.mp4")); // a folder is no clip
        const QString root = path("c1/proj");
        QVERIFY(TestSupport::writeFile(root + "/rendered/d_edited.mp4", "r"));
        QVERIFY(TestSupport::writeFile(root + "/timelines/c.v2.final_timeline.json", "{}"));

        Workspace ws;
        int changes = 0;
        ws.onReelsChanged = [&] { ++changes; };
        QVERIFY(ws.create(root, "Proj", footage));
        QCOMPARE(changes, 1);

        for (const char* sub : {"timelines", "markers", "subtitles", "rendered", "release", "temp"})
            QVERIFY2(QFileInfo(QDir(root).filePath(sub)).isDir(), sub);
        QStringList names;
        for (const Reel& r : ws.reels)
            names << r.name;
        // "a.mkv" sorts before "a.mp4", so the reel "a" is the mkv clip; extensions match in
        // any letter case.
        QCOMPARE(names.join("|"), QString("a|b take|c.v2.final|d|e"));
        const Reel* a = ws.findReelByName("a");
        QVERIFY(a);
        QCOMPARE(a->source_path, QFileInfo(footage + "/a.mkv").absoluteFilePath());
        QCOMPARE(a->timeline_path, QDir(root).filePath("timelines/a_timeline.json"));
        QCOMPARE(a->rendered_path, QDir(root).filePath("rendered/a_edited.mp4"));
        QCOMPARE(a->source_markers_path, QDir(root).filePath("markers/a_source_markers.csv"));
        QCOMPARE(a->edited_markers_path, QDir(root).filePath("markers/a_edited_markers.csv"));
        QCOMPARE(a->source_srt_path, QDir(root).filePath("subtitles/a_source.srt"));
        QCOMPARE(a->edited_srt_path, QDir(root).filePath("subtitles/a_edited.srt"));
        QCOMPARE(a->status, ReelStatus::Pending);
        QCOMPARE(ws.findReelByName("c.v2.final")->status, ReelStatus::Analyzed);
        QVERIFY(ws.findReelByName("c.v2.final")->timeline.segments.isEmpty());
        QCOMPARE(ws.findReelByName("d")->status, ReelStatus::Completed);
        QVERIFY(ws.findReelByName("A") == nullptr);

        QVERIFY(QFileInfo(root + "/workspace.json").isFile());
        QCOMPARE(Config::getRecentWorkspacePath(), root);
    }

    void createStartsFromAnEmptyList() {
        QVERIFY(TestSupport::writeFile(path("c2/f1/old.mp4"), "x"));
        Workspace ws;
        QVERIFY(ws.create(path("c2/p1"), "One", path("c2/f1")));
        QCOMPARE(ws.reels.size(), 1);
        QVERIFY(ws.create(path("c2/p2"), "Two", path("c2/empty-does-not-exist")));
        QCOMPARE(ws.reels.size(), 0);
        Workspace reloaded;
        QVERIFY(reloaded.load(path("c2/p2")));
        QCOMPARE(reloaded.reels.size(), 0);
        QCOMPARE(reloaded.project_name, QString("Two"));
    }

    void createWithoutFootageStoresDefault() {
        Workspace ws;
        QVERIFY(ws.create(path("c3/p"), "P", QString()));
        QCOMPARE(ws.source_dir, Config::defaultFootageFolder());
        const QJsonObject stored = *SafeFile::readJsonObject(path("c3/p/workspace.json"));
        QCOMPARE(stored.value("source_dir").toString(), Config::defaultFootageFolder());
    }

    void createInUnwritablePlaceFails() {
        QVERIFY(TestSupport::writeFile(path("c4/file"), "x"));
        Workspace ws;
        Config::setRecentWorkspacePath("unchanged");
        QVERIFY(!ws.create(path("c4/file/proj"), "P", QString()));
        QCOMPARE(Config::getRecentWorkspacePath(), QString("unchanged"));
    }

    void saveThenLoadRoundTrips() {
        const QString footage = path("rt/footage");
        QVERIFY(TestSupport::writeFile(footage + "/z.mp4", "x"));
        QVERIFY(TestSupport::writeFile(footage + "/m.mov", "x"));
        Workspace ws;
        QVERIFY(ws.create(path("rt/proj"), "Round ✓ Trip", footage));
        ws.reels[0].duration = 83.27;
        StreamFacts facts;
        facts.rateNum = 60000;
        facts.rateDen = 1001;
        facts.width = 1080;
        facts.height = 1920;
        facts.rotation = 270;
        facts.hasAudio = true;
        facts.duration = 83.27;
        ws.updateReelFacts(0, facts);
        ws.updateReelStatus(1, ReelStatus::Error);
        QVERIFY(ws.save());

        Workspace loaded;
        QVERIFY(loaded.load(path("rt/proj/workspace.json")));
        QCOMPARE(loaded.root_path, QFileInfo(path("rt/proj")).absoluteFilePath());
        QCOMPARE(loaded.project_name, QString("Round ✓ Trip"));
        QCOMPARE(loaded.source_dir, footage);
        QCOMPARE(loaded.reels.size(), 2);
        QCOMPARE(loaded.reels[0].duration, 83.27);
        QCOMPARE(loaded.reels[1].status, ReelStatus::Error);
        const StreamFacts read = loaded.reels[0].facts;
        QCOMPARE(QList<int>({read.rateNum, read.rateDen, read.width, read.height, read.rotation}),
                 QList<int>({60000, 1001, 1080, 1920, 270}));
        QVERIFY(read.hasAudio && !read.variableRate);
        QCOMPARE(read.duration, 83.27);
        QVERIFY(!loaded.reels[1].facts.known());
        for (int i = 0; i < 2; ++i) {
            QCOMPARE(loaded.reels[i].name, ws.reels[i].name);
            QCOMPARE(loaded.reels[i].edited_srt_path, ws.reels[i].edited_srt_path);
        }
    }

    void loadDerivesStatus_data() {
        QTest::addColumn<int>("stored");
        QTest::addColumn<bool>("timelineFile");
        QTest::addColumn<bool>("renderedFile");
        QTest::addColumn<int>("expected");
        QTest::addColumn<bool>("hasTimeline");
        QTest::newRow("pending with timeline") << 0 << true << false << 2 << true;
        QTest::newRow("error keeps status, gets timeline") << 5 << true << false << 5 << true;
        QTest::newRow("rendered wins") << 2 << true << true << 4 << true;
        QTest::newRow("rendered without timeline") << 0 << false << true << 4 << false;
        QTest::newRow("nothing on disk") << 0 << false << false << 0 << false;
        QTest::newRow("unknown status kept") << 9 << false << false << 9 << false;
        // A job cut short by closing the studio: the files decide.
        QTest::newRow("interrupted analysis with timeline") << 1 << true << false << 2 << true;
        QTest::newRow("interrupted analysis without timeline") << 1 << false << false << 0 << false;
        QTest::newRow("interrupted render with earlier cut") << 3 << true << true << 4 << true;
        QTest::newRow("interrupted render without cut") << 3 << true << false << 2 << true;
    }

    void loadDerivesStatus() {
        QFETCH(int, stored);
        QFETCH(bool, timelineFile);
        QFETCH(bool, renderedFile);
        QFETCH(int, expected);
        QFETCH(bool, hasTimeline);

        QTemporaryDir local;
        const QString root = local.filePath("proj");
        const QJsonObject reel{{"name", "r"},
                               {"status", stored},
                               {"timeline_path", root + "/timelines/r_timeline.json"},
                               {"rendered_path", root + "/rendered/r_edited.mp4"}};
        writeWorkspace(root, QJsonObject{{"project_name", "P"},
                                         {"source_dir", local.filePath("none")},
                                         {"reels", QJsonArray{reel}}});
        if (timelineFile)
            QVERIFY(TestSupport::writeFile(root + "/timelines/r_timeline.json",
                                           timelineJson("stored")));
        if (renderedFile)
            QVERIFY(TestSupport::writeFile(root + "/rendered/r_edited.mp4", "mp4"));

        Workspace ws;
        QVERIFY(ws.load(root));
        QCOMPARE(ws.reels.size(), 1);
        QCOMPARE(static_cast<int>(ws.reels[0].status), expected);
        QCOMPARE(ws.reels[0].timeline.segments.size(), hasTimeline ? 1 : 0);
        if (hasTimeline) {
            QCOMPARE(ws.reels[0].timeline.summary, QString("stored"));
            QCOMPARE(ws.reels[0].timeline.total_edited_duration, 4.5);
        }
        // An unknown status is saved back as the same integer.
        QVERIFY(ws.save());
        const QJsonObject saved = *SafeFile::readJsonObject(root + "/workspace.json");
        QCOMPARE(saved.value("reels").toArray().at(0).toObject().value("status").toInt(), expected);
    }

    void storedFactsLoad_data() {
        QTest::addColumn<QJsonObject>("fields");
        QTest::addColumn<QList<int>>("rateSizeRotation");
        QTest::addColumn<bool>("variable");
        QTest::addColumn<bool>("audio");

        const QList<int> unknown{0, 0, 0, 0, 0};
        QTest::newRow("older file") << QJsonObject() << unknown << false << false;
        QTest::newRow("29.97 variable") << QJsonObject{{"frame_rate", "30000/1001"},
                                                       {"variable_frame_rate", true},
                                                       {"width", 1920},
                                                       {"height", 1080},
                                                       {"rotation", 90},
                                                       {"has_audio", true}}
                                        << QList<int>{30000, 1001, 1920, 1080, 90} << true << true;
        QTest::newRow("rotation turned back")
            << QJsonObject{{"frame_rate", "25/1"}, {"rotation", -90}}
            << QList<int>{25, 1, 0, 0, 270} << false << false;
        // A rate that is no fraction leaves every fact unknown, to be probed again.
        QTest::newRow("rate without fraction")
            << QJsonObject{{"frame_rate", "30"}, {"width", 640}, {"has_audio", true}} << unknown
            << false << false;
        QTest::newRow("zero rate")
            << QJsonObject{{"frame_rate", "0/1"}} << unknown << false << false;
    }

    void storedFactsLoad() {
        QFETCH(QJsonObject, fields);
        QFETCH(QList<int>, rateSizeRotation);
        QFETCH(bool, variable);
        QFETCH(bool, audio);

        const QString root = path(QStringLiteral("facts/%1").arg(QTest::currentDataTag()));
        QJsonObject reel = fields;
        reel.insert("name", "clip");
        writeWorkspace(root, QJsonObject{{"reels", QJsonArray{reel}}});
        Workspace ws;
        QVERIFY(ws.load(root));
        QCOMPARE(ws.reels.size(), 1);
        const StreamFacts facts = ws.reels[0].facts;
        QCOMPARE(
            QList<int>({facts.rateNum, facts.rateDen, facts.width, facts.height, facts.rotation}),
            rateSizeRotation);
        QCOMPARE(facts.variableRate, variable);
        QCOMPARE(facts.hasAudio, audio);
    }

    void loadToleratesMistypedKeys() {
        const QString root = path("mistyped");
        writeWorkspace(
            root,
            QJsonObject{{"project_name", 7},
                        {"source_dir", QJsonArray()},
                        {"reels",
                         QJsonArray{QJsonObject{{"name", "x"}, {"duration", "12"}, {"status", 2.5}},
                                    "not an object", 3}}});
        Workspace ws;
        QVERIFY(ws.load(root));
        QCOMPARE(ws.project_name, QString("Default_Project"));
        QCOMPARE(ws.source_dir, Config::defaultFootageFolder());
        QCOMPARE(ws.reels.size(), 3);
        // No footage folder, so no scan re-sorts: the file's order stands.
        QCOMPARE(ws.reels[0].name, QString("x"));
        QCOMPARE(ws.reels[0].duration, 0.0);
        QCOMPARE(ws.reels[0].status, ReelStatus::Pending);
        QVERIFY(ws.reels[1].name.isEmpty());
    }

    void loadSkipsBrokenTimelineFiles() {
        const QString root = path("broken-tl");
        QJsonArray reels;
        for (const char* name : {"a", "b", "c"})
            reels.append(QJsonObject{
                {"name", name}, {"status", 0}, {"timeline_path", root + "/t/" + name + ".json"}});
        writeWorkspace(root, QJsonObject{{"reels", reels}});
        QVERIFY(TestSupport::writeFile(root + "/t/a.json", "[1,2]"));
        QVERIFY(TestSupport::writeFile(root + "/t/b.json", "{not json"));
        Workspace ws;
        QVERIFY(ws.load(root));
        for (const Reel& r : ws.reels) {
            QCOMPARE(r.status, ReelStatus::Pending);
            QVERIFY(r.timeline.segments.isEmpty());
        }
    }

    void failedLoadChangesNothing_data() {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<bool>("createFile");
        QTest::newRow("no workspace.json") << QByteArray() << false;
        QTest::newRow("syntax error") << QByteArray("{\"project_name\": \"x\",") << true;
        QTest::newRow("array root") << QByteArray("[]") << true;
    }

    void failedLoadChangesNothing() {
        QFETCH(QByteArray, content);
        QFETCH(bool, createFile);

        QTemporaryDir local;
        QVERIFY(TestSupport::writeFile(local.filePath("good/footage/clip.mp4"), "x"));
        Workspace ws;
        QVERIFY(ws.create(local.filePath("good/proj"), "Good", local.filePath("good/footage")));
        const QString badRoot = local.filePath("bad");
        QVERIFY(QDir().mkpath(badRoot));
        if (createFile)
            QVERIFY(TestSupport::writeFile(badRoot + "/workspace.json", content));

        int changes = 0;
        ws.onReelsChanged = [&] { ++changes; };
        QVERIFY(!ws.load(badRoot));
        QCOMPARE(changes, 0);
        QCOMPARE(ws.root_path, local.filePath("good/proj"));
        QCOMPARE(ws.project_name, QString("Good"));
        QCOMPARE(ws.reels.size(), 1);
        // A later save goes to the open project and never over the damaged file.
        QVERIFY(ws.save());
        if (createFile)
            QCOMPARE(TestSupport::readFile(badRoot + "/workspace.json"), content);
        else
            QVERIFY(!QFileInfo::exists(badRoot + "/workspace.json"));
    }

    void loadRescansFootageAndSorts() {
        const QString root = path("rescan/proj");
        const QString footage = path("rescan/footage");
        QVERIFY(TestSupport::writeFile(footage + "/alpha.mp4", "x"));
        QVERIFY(TestSupport::writeFile(footage + "/Zulu.mov", "x"));
        QVERIFY(TestSupport::writeFile(footage + "/listed.mkv", "x")); // same name, other clip
        writeWorkspace(
            root,
            QJsonObject{{"project_name", "R"},
                        {"source_dir", footage},
                        {"reels", QJsonArray{QJsonObject{{"name", "zz"}},
                                             QJsonObject{{"name", "listed"},
                                                         {"source_path", "/elsewhere/listed.mp4"},
                                                         {"status", 5}}}}});
        Workspace ws;
        int changes = 0;
        ws.onReelsChanged = [&] { ++changes; };
        QVERIFY(ws.load(root));
        QCOMPARE(changes, 2); // the scan's notice and the load's own
        QStringList names;
        for (const Reel& r : ws.reels)
            names << r.name;
        QCOMPARE(names, (QStringList{"Zulu", "alpha", "listed", "zz"}));
        const Reel* listed = ws.findReelByName("listed");
        QCOMPARE(listed->source_path, QString("/elsewhere/listed.mp4"));
        QCOMPARE(listed->status, ReelStatus::Error);
        QCOMPARE(Config::getRecentWorkspacePath(), root);
    }

    void relativePathsBecomeAbsolute() {
        QTemporaryDir local;
        QVERIFY(TestSupport::writeFile(local.filePath("footage/clip.mp4"), "x"));
        const QString previous = QDir::currentPath();
        QVERIFY(QDir::setCurrent(local.path()));
        Workspace ws;
        const bool created = ws.create("myproj", "Relative", "footage");
        Workspace loaded;
        const bool reloaded = loaded.load("myproj");
        QDir::setCurrent(previous);

        QVERIFY(created);
        QVERIFY(reloaded);
        const QString root = QDir(local.path()).filePath("myproj");
        QCOMPARE(ws.root_path, root);
        QCOMPARE(loaded.root_path, root);
        QCOMPARE(Config::getRecentWorkspacePath(), root);
        QCOMPARE(loaded.reels.size(), 1);
        QCOMPARE(loaded.reels[0].timeline_path, root + "/timelines/clip_timeline.json");
        QVERIFY(QFileInfo(loaded.reels[0].source_path).isAbsolute());
    }

    void missingFootageFolderFiresNothingOnScan() {
        Workspace ws;
        ws.source_dir = path("no-such-folder");
        bool fired = false;
        ws.onReelsChanged = [&] { fired = true; };
        ws.scanSourceFootage();
        QVERIFY(!fired);
        QVERIFY(ws.reels.isEmpty());
    }

    void updatesNotifyAndIgnoreBadIndexes() {
        Workspace ws;
        ws.reels.append(Reel());
        QList<QPair<int, ReelStatus>> seen;
        ws.onReelStatusChanged = [&](int i, ReelStatus s) { seen.append({i, s}); };
        ws.updateReelStatus(0, ReelStatus::Rendering);
        ws.updateReelStatus(1, ReelStatus::Error);
        ws.updateReelStatus(-1, ReelStatus::Error);
        TimelineData data;
        data.summary = "new";
        data.segments.append(Segment());
        ws.updateReelTimeline(0, data);
        ws.updateReelTimeline(3, data);
        QCOMPARE(seen.size(), 2);
        QCOMPARE(seen[0].second, ReelStatus::Rendering);
        QCOMPARE(seen[1].second, ReelStatus::Analyzed);
        QCOMPARE(ws.reels[0].status, ReelStatus::Analyzed);
        QCOMPARE(ws.reels[0].timeline.summary, QString("new"));
    }

    void folderGetters() {
        Workspace ws;
        ws.root_path = "/p/root";
        QCOMPARE(ws.getTimelinesDir(), QString("/p/root/timelines"));
        QCOMPARE(ws.getMarkersDir(), QString("/p/root/markers"));
        QCOMPARE(ws.getSubtitlesDir(), QString("/p/root/subtitles"));
        QCOMPARE(ws.getRenderedDir(), QString("/p/root/rendered"));
        QCOMPARE(ws.getReleaseDir(), QString("/p/root/release"));
        QCOMPARE(ws.getTempDir(), QString("/p/root/temp"));
        QVERIFY(!QFileInfo::exists("/p/root"));
    }
    // A project folder moved elsewhere as a whole finds its analyses and cuts again.
    void movedProjectFindsItsWork() {
        QTemporaryDir local;
        const QString footage = local.filePath("footage");
        for (const char* clip : {"analysed.mp4", "cut.mov", "fresh.mkv"})
            QVERIFY(TestSupport::writeFile(footage + "/" + clip, "x"));
        const QString before = local.filePath("old/proj");
        Workspace ws;
        QVERIFY(ws.create(before, "Moving", footage));
        for (const char* name : {"analysed", "cut"}) {
            const Reel* reel = ws.findReelByName(name);
            QVERIFY(SafeFile::writeJsonObject(
                reel->timeline_path, QJsonDocument::fromJson(timelineJson(name)).object()));
        }
        QVERIFY(TestSupport::writeFile(ws.findReelByName("cut")->rendered_path, "mp4"));
        ws.updateReelStatus(1, ReelStatus::Completed);
        QVERIFY(ws.save());

        const QString after = local.filePath("elsewhere/renamed");
        QVERIFY(QDir().mkpath(local.filePath("elsewhere")));
        QVERIFY(QDir().rename(before, after));

        Workspace moved;
        QVERIFY(moved.load(after));
        QCOMPARE(moved.reels.size(), 3);
        const QList<QPair<QString, ReelStatus>> expected = {{"analysed", ReelStatus::Analyzed},
                                                            {"cut", ReelStatus::Completed},
                                                            {"fresh", ReelStatus::Pending}};
        for (const auto& [name, status] : expected) {
            const Reel* reel = moved.findReelByName(name);
            QVERIFY2(reel, qPrintable(name));
            QCOMPARE(reel->status, status);
            QCOMPARE(reel->timeline.summary, status == ReelStatus::Pending ? QString() : name);
            for (const QString& p : {reel->timeline_path, reel->rendered_path,
                                     reel->source_markers_path, reel->edited_srt_path})
                QVERIFY2(p.startsWith(after + "/"), qPrintable(p));
        }
        QCOMPARE(moved.findReelByName("cut")->rendered_path, after + "/rendered/cut_edited.mp4");
        QVERIFY(moved.save());
        QVERIFY(!QFileInfo::exists(local.filePath("old/proj")));
    }

    void fileStemsStayInsideTheirFolder_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("stem");
        QTest::newRow("plain") << "b take.v2"
                               << "b take.v2";
        QTest::newRow("climbing") << "../../x"
                                  << "x";
        QTest::newRow("backslashes") << "..\\..\\y"
                                     << "y";
        QTest::newRow("absolute") << "/etc/z"
                                  << "etc_z";
        QTest::newRow("inner dots") << "a/./../b"
                                    << "a_b";
        QTest::newRow("drive and stream") << "C:evil"
                                          << "C_evil";
        QTest::newRow("only dots") << ".."
                                   << "";
    }

    void fileStemsStayInsideTheirFolder() {
        QFETCH(QString, name);
        QFETCH(QString, stem);
        QCOMPARE(Workspace::fileStem(name), stem);
    }

    // Paths, reel names and the project name from a tampered workspace.json: reading may look
    // outside, but everything written through the workspace lands inside the project.
    void tamperedFileWritesNothingOutside() {
        QTemporaryDir local;
        const QString root = local.filePath("nest/proj");
        const QString outside = local.filePath("outside");
        const QString storedTimeline = outside + "/x_timeline.json";
        QVERIFY(TestSupport::writeFile(storedTimeline, timelineJson("from outside")));
        QVERIFY(TestSupport::writeFile(outside + "/x_edited.mp4", "someone's film"));
        QJsonArray reels;
        for (const char* name : {"../../x", "..\\..\\..\\y", "/tmp/z", ".."})
            reels.append(QJsonObject{{"name", name},
                                     {"timeline_path", storedTimeline},
                                     {"rendered_path", outside + "/x_edited.mp4"},
                                     {"source_markers_path", outside + "/m.csv"},
                                     {"edited_markers_path", outside + "/e.csv"},
                                     {"source_srt_path", outside + "/s.srt"},
                                     {"edited_srt_path", outside + "/e.srt"}});
        writeWorkspace(root, QJsonObject{{"project_name", "../../../Evil/P"},
                                         {"source_dir", local.filePath("none")},
                                         {"reels", reels}});
        const QMap<QString, QByteArray> untouched = filesOutside(local.path(), root);

        Workspace ws;
        QVERIFY(ws.load(root));
        QCOMPARE(ws.reels.size(), 4);
        QCOMPARE(ws.findReelByName("../../x")->timeline.summary, QString("from outside"));
        QCOMPARE(ws.findReelByName("../../x")->status, ReelStatus::Analyzed); // not its film
        QStringList written{ws.getMasterPath()};
        for (const Reel& reel : std::as_const(ws.reels))
            written << reel.timeline_path << reel.rendered_path << reel.source_markers_path
                    << reel.edited_markers_path << reel.source_srt_path << reel.edited_srt_path;
        for (const QString& p : std::as_const(written)) {
            QVERIFY2(QDir::cleanPath(p).startsWith(root + "/"), qPrintable(p));
            QVERIFY(TestSupport::writeFile(p, "written"));
        }
        QVERIFY(ws.save());
        QCOMPARE(filesOutside(local.path(), root), untouched);
        QVERIFY(QFileInfo::exists(root + "/timelines/x_timeline.json"));
    }

    // Scratch files of jobs that ended without cleaning up go; a file still being written by
    // another process, or one that only looks similar, stays.
    void releaseOrder_data() {
        QTest::addColumn<QStringList>("names");
        QTest::addColumn<QStringList>("stored");
        QTest::addColumn<QStringList>("excluded");
        QTest::addColumn<QStringList>("expected");
        const QStringList takes{"Take 10", "Take 9", "take 2", "Take 1"};
        QTest::newRow("numbers by value, any case")
            << takes << QStringList() << QStringList()
            << QStringList{"Take 1", "take 2", "Take 9", "Take 10"};
        QTest::newRow("accents sort with their letter")
            << QStringList{"Ëtude 2", "Zoom", "Etude 10", "etude 3"} << QStringList()
            << QStringList() << QStringList{"Ëtude 2", "etude 3", "Etude 10", "Zoom"};
        QTest::newRow("stored order first, the rest natural after it")
            << takes << QStringList{"Take 9", "Take 1"} << QStringList()
            << QStringList{"Take 9", "Take 1", "take 2", "Take 10"};
        QTest::newRow("stored names of missing reels are passed over")
            << takes << QStringList{"Gone", "Take 10", "Take 10"} << QStringList()
            << QStringList{"Take 10", "Take 1", "take 2", "Take 9"};
        QTest::newRow("excluded reels left out")
            << takes << QStringList{"Take 9"} << QStringList{"Take 9", "take 2"}
            << QStringList{"Take 1", "Take 10"};
    }

    void releaseOrder() {
        QFETCH(QStringList, names);
        QFETCH(QStringList, stored);
        QFETCH(QStringList, excluded);
        QFETCH(QStringList, expected);
        Workspace workspace;
        for (const QString& name : names) {
            Reel reel;
            reel.name = name;
            workspace.reels << reel;
        }
        workspace.setReleaseOrder(stored, excluded);
        QStringList got;
        for (const Reel* reel : workspace.releaseOrder())
            got << reel->name;
        QCOMPARE(got, expected);
        // Film order keeps every reel; only the release leaves some out.
        QCOMPARE(workspace.filmOrder().size(), names.size());
    }

    void storedChoicesRoundTrip() {
        const QString root = path("choices");
        Workspace workspace;
        workspace.remembersRecent = false;
        QVERIFY(workspace.create(root, "Choices", path("no-footage")));
        workspace.setReleaseOrder({"B", "A"}, {"C"});
        workspace.metadata.subject_title = "Bench 7";
        workspace.metadata.notes = "line one\nline two";
        workspace.usage.prompt_tokens = 5000000000LL; // beyond 32 bits
        workspace.usage.candidate_tokens = 400;
        workspace.usage.analyses = 3;
        QVERIFY(workspace.save());

        Workspace reopened;
        reopened.remembersRecent = false;
        QVERIFY(reopened.load(root));
        QCOMPARE(reopened.release_order, (QStringList{"B", "A"}));
        QCOMPARE(reopened.release_excluded, QStringList{"C"});
        QCOMPARE(reopened.metadata.subject_title, QString("Bench 7"));
        QCOMPARE(reopened.metadata.notes, QString("line one\nline two"));
        QCOMPARE(reopened.metadata.creator, ProjectMetadata().creator);
        QCOMPARE(reopened.usage.prompt_tokens, 5000000000LL);
        QCOMPARE(reopened.usage.candidate_tokens, 400);
        QCOMPARE(reopened.usage.analyses, 3);

        // A file from before these keys existed loads with the defaults; another project
        // created in the same object does not inherit the choices.
        writeWorkspace(root, QJsonObject{{"project_name", "Old"},
                                         {"usage", QJsonObject{{"prompt_tokens", -4}}},
                                         {"release_order", QJsonArray{1, "A"}}});
        QVERIFY(reopened.load(root));
        QCOMPARE(reopened.release_order, QStringList{"A"});
        QVERIFY(reopened.release_excluded.isEmpty());
        QCOMPARE(reopened.usage.prompt_tokens, 0);
        QCOMPARE(reopened.metadata.subject_title, ProjectMetadata().subject_title);
        workspace.setReleaseOrder({"X"}, {"Y"});
        QVERIFY(workspace.create(path("choices2"), "Fresh", path("no-footage")));
        QVERIFY(workspace.release_order.isEmpty() && workspace.release_excluded.isEmpty());
        QCOMPARE(workspace.usage.analyses, 0);
    }

    void cutStaleness_data() {
        QTest::addColumn<bool>("hasTimeline");
        QTest::addColumn<bool>("hasCut");
        QTest::addColumn<int>("cutAgeSeconds"); // relative to the timeline file
        QTest::addColumn<bool>("stale");
        QTest::addColumn<bool>("current");
        QTest::newRow("cut after timeline") << true << true << -30 << false << true;
        QTest::newRow("timeline rewritten after cut") << true << true << 30 << true << false;
        QTest::newRow("no cut") << true << false << 0 << false << false;
        QTest::newRow("cut without timeline file") << false << true << 30 << false << true;
    }

    void cutStaleness() {
        QFETCH(bool, hasTimeline);
        QFETCH(bool, hasCut);
        QFETCH(int, cutAgeSeconds);
        QFETCH(bool, stale);
        QFETCH(bool, current);
        const QString tag = QString::fromLatin1(QTest::currentDataTag()).replace(' ', '_');
        Reel reel;
        reel.timeline_path = path("stale/" + tag + "_timeline.json");
        reel.rendered_path = path("stale/" + tag + "_edited.mp4");
        const QDateTime now = QDateTime::currentDateTime();
        const auto place = [](const QString& file, const QDateTime& when) {
            QFile f(file);
            return TestSupport::writeFile(file, "x") && f.open(QIODevice::ReadWrite) &&
                   f.setFileTime(when, QFileDevice::FileModificationTime);
        };
        if (hasTimeline)
            QVERIFY(place(reel.timeline_path, now));
        if (hasCut)
            QVERIFY(place(reel.rendered_path, now.addSecs(-cutAgeSeconds)));
        QCOMPARE(reel.cutIsStale(), stale);
        QCOMPARE(reel.hasCurrentCut(), current);
    }

    void staleScratchFilesAreRemoved_data() {
        QTest::addColumn<QString>("file");
        QTest::addColumn<int>("ageSeconds");
        QTest::addColumn<bool>("removed");
        QTest::newRow("old partial cut") << "rendered/.a_edited.partial.mp4" << 600 << true;
        QTest::newRow("live partial cut") << "rendered/.a_edited.partial.mp4" << 5 << false;
        QTest::newRow("old partial master")
            << "release/.P_Master_Release.partial.mp4" << 120 << true;
        QTest::newRow("old concat list") << "release/concat_list.txt" << 7200 << true;
        QTest::newRow("recent concat list") << "release/.concat_list.txt" << 120 << false;
        QTest::newRow("finished cut") << "rendered/a_edited.mp4" << 600 << false;
        QTest::newRow("other hidden file") << "rendered/.notes" << 600 << false;
        QTest::newRow("other folder") << "timelines/.x.partial.json" << 600 << false;
    }

    void staleScratchFilesAreRemoved() {
        QFETCH(QString, file);
        QFETCH(int, ageSeconds);
        QFETCH(bool, removed);
        QTemporaryDir local;
        writeWorkspace(local.path(), QJsonObject{{"source_dir", local.filePath("none")}});
        const QString path = local.filePath(file);
        QVERIFY(TestSupport::writeFile(path, "scratch"));
        QFile handle(path);
        QVERIFY(handle.open(QIODevice::ReadWrite));
        QVERIFY(handle.setFileTime(QDateTime::currentDateTimeUtc().addSecs(-ageSeconds),
                                   QFileDevice::FileModificationTime));
        handle.close();
        Workspace ws;
        QVERIFY(ws.load(local.path()));
        QCOMPARE(QFileInfo::exists(path), !removed);
    }
};

QTEST_GUILESS_MAIN(WorkspaceTest)
#include "tst_workspace.moc"
