// Drives the main window's workflow end to end: a loopback stand-in for Gemini, the real
// ffmpeg and ffprobe, and a workspace over clips the test generates.
#include "ModalAnswerer.h"
#include "TestSupport.h"
#include "ai/GeminiStandIn.h"
#include "app/PipelineSettings.h"
#include "media/MediaTestSupport.h"
#include "timeline/SafeFile.h"
#include "timeline/TimelineMath.h"
#include "ui/CopilotWidget.h"
#include "ui/MainWindow.h"
#include "ui/TimelineWidget.h"
#include "ui/VideoPlayerWidget.h"
#include "workspace/Workspace.h"

#include <QAbstractButton>
#include <QApplication>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTextBlock>
#include <QTextBrowser>
#include <QtTest>

using namespace Tessaryn;

namespace {

QByteArray compact(const QJsonObject& o) {
    return QJsonDocument(o).toJson(QJsonDocument::Compact);
}

// True when the analysis request (the last one but the clean-up) names the model.
bool analysisRequestNamesModel(const GeminiStandIn& gemini, const QString& model) {
    for (qsizetype i = gemini.requests.size() - 1; i >= 0; --i) {
        if (gemini.requests[i].method != "DELETE")
            return gemini.requests[i].target.contains(model.toUtf8());
    }
    return false;
}

CannedAnswer uploadedActive() {
    return {200, compact({{"file", QJsonObject{{"name", "files/clip1"},
                                               {"uri", "https://files.example/files/clip1"},
                                               {"state", "ACTIVE"}}}})};
}

// A model answer for a 3-second clip: 1 s kept, 1.5 s at ten times, 0.5 s cut.
QString modelText(const QString& summary) {
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
    return QString::fromUtf8(compact({{"summary", summary}, {"segments", segments}}));
}

CannedAnswer analysed(const QString& summary, qint64 promptTokens, qint64 answerTokens) {
    const QJsonObject part{{"text", modelText(summary)}};
    const QJsonObject content{{"parts", QJsonArray{part}}};
    const QJsonObject answer{
        {"candidates", QJsonArray{QJsonObject{{"content", content}}}},
        {"usageMetadata",
         QJsonObject{{"promptTokenCount", promptTokens}, {"candidatesTokenCount", answerTokens}}}};
    return {200, compact(answer)};
}

// Answers every modal window that opens while it lives with the given button.
struct DialogAnswerer : ModalAnswerer {
    explicit DialogAnswerer(QMessageBox::StandardButton button)
        : ModalAnswerer([button](QWidget* modal) { ModalAnswerer::click(modal, button); }) {}
};

} // namespace

class MainWindowTest : public QObject {
    Q_OBJECT

private:
    QTemporaryDir dir;
    GeminiStandIn gemini;
    QString footage;

    QString logText(MainWindow& w) const {
        return w.copilotPanel()->findChild<QTextBrowser*>()->document()->toPlainText();
    }

    static ReelStatus statusOf(MainWindow& w, const QString& name) {
        Reel* reel = w.currentWorkspace()->findReelByName(name);
        return reel ? reel->status : ReelStatus(-1);
    }

    static QList<int> storedStatuses(const QString& root) {
        QList<int> out;
        const auto doc = SafeFile::readJsonObject(root + "/workspace.json");
        for (const QJsonValue& v : doc->value("reels").toArray())
            out << v.toObject().value("status").toInt();
        return out;
    }

    QString makeWorkspace(const QString& name, const QString& clips) {
        Workspace ws;
        const QString root = dir.filePath(name);
        return ws.create(root, name, clips) ? root : QString();
    }

private slots:
    void initTestCase() {
        QVERIFY(dir.isValid());
        TestSupport::isolateStudio(dir.path());
        QVERIFY(gemini.start());
        qputenv("TESSARYN_GEMINI_BASE_URL", gemini.baseUrl().toUtf8());

        footage = dir.filePath("footage");
        QVERIFY(QDir().mkpath(footage));
        for (const char* name : {"a_clip", "b_clip", "c_clip"})
            QVERIFY(MediaTestSupport::generateClip(QDir(footage).filePath(QString(name) + ".mp4"),
                                                   320, 240, 25, 3.0));
    }

    void startsReady() {
        MainWindow w;
        QCOMPARE(w.windowTitle(), QString("Tessaryn — AI-Assisted Video Editing Suite"));
        QCOMPARE(w.statusLabelWidget()->text(), QString("Ready"));
        QVERIFY(!w.jobProgressBar()->isVisibleTo(&w));
        // The key comes from the environment here, and the label says so.
        QCOMPARE(w.vaultLabelWidget()->text(),
                 QString("Gemini Vault: Active (environment variable)"));
    }

    void analyseRenderStitch() {
        const QString root = makeWorkspace("Studio", footage);
        QVERIFY(!root.isEmpty());
        MainWindow w;
        w.openWorkspace(root);
        QCOMPARE(w.windowTitle(), QString("Tessaryn — Studio [%1]").arg(root));
        QVERIFY(logText(w).contains("Workspace Studio loaded with 3 video reels."));

        // Batch analysis: the second reel's upload fails on the server.
        gemini.requests.clear();
        gemini.answers = {CannedAnswer::uploadStarted(),
                          uploadedActive(),
                          analysed("First clip", 100, 20),
                          {400, "{\"error\":{\"code\":400,\"message\":\"boom\"}}"},
                          CannedAnswer::uploadStarted(),
                          uploadedActive(),
                          analysed("Third clip", 50, 5)};
        w.onBatchAnalyzeRequested();
        QVERIFY(waitUntil([&] { return !w.isBatchActive(); }, 60000));

        QCOMPARE(statusOf(w, "a_clip"), ReelStatus::Analyzed);
        QCOMPARE(statusOf(w, "b_clip"), ReelStatus::Error);
        QCOMPARE(statusOf(w, "c_clip"), ReelStatus::Analyzed);
        QCOMPARE(storedStatuses(root), (QList<int>{2, 5, 2}));
        QCOMPARE(w.statusLabelWidget()->text(), QString("Batch operation complete."));
        QCOMPARE(w.promptTokenCount(), 150);
        QCOMPARE(w.candidateTokenCount(), 25);
        QCOMPARE(w.analysisCountSoFar(), 2);
        const QString log = logText(w);
        QVERIFY(log.contains("Successfully analyzed a_clip!\n• Summary: First clip\n• Source "
                             "Duration: 3.0s -> Cut Duration: 1.1s\n• Segments: 3, of them "
                             "milestones: 1"));
        QVERIFY(log.contains("Analysis failed for b_clip: Upload failed:"));
        QVERIFY(!log.contains("test-key-123"));
        QVERIFY(log.contains("— Batch processing queue finished. —"));
        for (const char* name : {"a_clip", "c_clip"}) {
            const Reel* reel = w.currentWorkspace()->findReelByName(name);
            const auto stored = SafeFile::readJsonObject(reel->timeline_path);
            QVERIFY2(stored.has_value(), name);
            QCOMPARE(TimelineData::fromJson(*stored).segments.size(), 3);
            for (const QString& f : {reel->source_markers_path, reel->edited_markers_path,
                                     reel->source_srt_path, reel->edited_srt_path})
                QVERIFY2(QFileInfo(f).size() > 0, qPrintable(f));
        }
        QVERIFY(!QFileInfo::exists(w.currentWorkspace()->findReelByName("b_clip")->timeline_path));

        // Batch render: only the analysed reels.
        w.onBatchRenderRequested();
        QVERIFY(waitUntil([&] { return !w.isBatchActive() && !w.hasRunningJob(); }, 120000));
        QCOMPARE(statusOf(w, "a_clip"), ReelStatus::Completed);
        QCOMPARE(statusOf(w, "b_clip"), ReelStatus::Error);
        QCOMPARE(statusOf(w, "c_clip"), ReelStatus::Completed);
        QCOMPARE(storedStatuses(root), (QList<int>{4, 5, 4}));
        QVERIFY(
            logText(w).contains("Rendered cut complete: c_clip_edited.mp4. Ready for preview."));
        double cutTotal = 0.0;
        for (const char* name : {"a_clip", "c_clip"}) {
            const double d = MediaTestSupport::formatDuration(
                w.currentWorkspace()->findReelByName(name)->rendered_path);
            QVERIFY2(qAbs(d - 1.15) < 0.1, qPrintable(QString::number(d)));
            cutTotal += d;
        }

        // Stitch the two cuts into the master film.
        w.onStitchMasterRequested();
        QVERIFY(waitUntil([&] { return !w.hasRunningJob(); }, 60000));
        const QString master = root + "/release/Studio_Master_Release.mp4";
        QCOMPARE(w.statusLabelWidget()->text(), QString("Master release film complete!"));
        QVERIFY(logText(w).contains("Stitching 2 rendered clips into master release: "
                                    "Studio_Master_Release.mp4..."));
        QVERIFY(qAbs(MediaTestSupport::formatDuration(master) - cutTotal) < 0.1);
    }

    // The track belongs to the clip in the player, whatever finishes meanwhile, and shows the
    // edited film's time while the player holds a cut.
    void trackFollowsThePlayer() {
        const QString root = makeWorkspace("Follow", footage);
        MainWindow w;
        w.openWorkspace(root);
        TimelineWidget* track = w.timelinePanel();
        VideoPlayerWidget* player = w.playerPanel();
        const Workspace* ws = w.currentWorkspace();
        w.onReelActivated(0);
        QCOMPARE(player->loadedPath(), ws->reels[0].source_path);

        gemini.answers = {CannedAnswer::uploadStarted(), uploadedActive(),
                          analysed("Other reel", 10, 2)};
        w.onAnalyzeReelRequested(1);
        QVERIFY(waitUntil([&] { return !w.hasRunningJob(); }, 60000));
        QCOMPARE(ws->reels[1].timeline.summary, QString("Other reel"));
        QCOMPARE(player->loadedPath(), ws->reels[0].source_path);
        QVERIFY(track->timelineData().segments.isEmpty()); // a_clip has no timeline yet

        gemini.answers = {CannedAnswer::uploadStarted(), uploadedActive(),
                          analysed("Player's reel", 10, 2)};
        w.onAnalyzeReelRequested(0);
        QVERIFY(waitUntil([&] { return !w.hasRunningJob(); }, 60000));
        QCOMPARE(track->timelineData().summary, QString("Player's reel"));
        QCOMPARE(track->axis(), TimelineAxis::Source);

        player->setReviewing(true);
        QCOMPARE(track->axis(), TimelineAxis::Edited);
        QCOMPARE(track->durationSeconds(), ws->reels[0].timeline.total_edited_duration);
        player->setReviewing(false);
        QCOMPARE(track->axis(), TimelineAxis::Source);

        w.onRenderReelRequested(0);
        QVERIFY(waitUntil([&] { return !w.hasRunningJob(); }, 60000));
        QCOMPARE(player->loadedPath(), ws->reels[0].rendered_path);
        QCOMPARE(track->axis(), TimelineAxis::Edited);
        QCOMPARE(track->timelineData().summary, QString("Player's reel"));

        // Keys the track does not use reach the player.
        QTest::keyClick(track, Qt::Key_Space);
        QVERIFY(player->isPlaying());
        QTest::keyClick(track, Qt::Key_K);
        QVERIFY(!player->isPlaying());
        // A hand edit makes the rendered film old: the player reviews the edited cut instead.
        QTest::mouseClick(track, Qt::LeftButton, {}, QPoint(3, 50));
        QTest::keyClick(track, Qt::Key_3);
        QCOMPARE(ws->reels[0].timeline.segments[0].classification, Classification::StaticPause);
        QVERIFY(player->isReviewing());
        QCOMPARE(track->axis(), TimelineAxis::Edited);
        QCOMPARE(track->durationSeconds(), ws->reels[0].timeline.total_edited_duration);
    }

    void resultLandsOnItsReelAfterARescan() {
        const QString clips = dir.filePath("rescan-footage");
        QVERIFY(QDir().mkpath(clips));
        QVERIFY(QFile::copy(footage + "/a_clip.mp4", clips + "/m_clip.mp4"));
        QVERIFY(QFile::copy(footage + "/a_clip.mp4", clips + "/z_clip.mp4"));
        const QString root = makeWorkspace("Rescan", clips);
        MainWindow w;
        w.openWorkspace(root);

        gemini.answers = {CannedAnswer::uploadStarted(), uploadedActive(), analysed("Zulu", 1, 1)};
        w.onAnalyzeReelRequested(1); // z_clip
        // A new clip sorts first and moves z_clip to index 2 while the analysis runs.
        QVERIFY(QFile::copy(footage + "/a_clip.mp4", clips + "/a_new.mp4"));
        w.onRescanSourceRequested();
        QCOMPARE(w.currentWorkspace()->reels.at(1).name, QString("m_clip"));
        QVERIFY(waitUntil([&] { return !w.hasRunningJob(); }, 30000));

        QCOMPARE(statusOf(w, "z_clip"), ReelStatus::Analyzed);
        QCOMPARE(w.currentWorkspace()->findReelByName("z_clip")->timeline.summary, QString("Zulu"));
        QCOMPARE(statusOf(w, "m_clip"), ReelStatus::Pending);
        QVERIFY(w.currentWorkspace()->findReelByName("m_clip")->timeline.segments.isEmpty());
    }

    void lateResultStaysWithItsOwnWorkspace() {
        const QString clipsOne = dir.filePath("one-footage");
        const QString clipsTwo = dir.filePath("two-footage");
        QVERIFY(QDir().mkpath(clipsOne));
        QVERIFY(QDir().mkpath(clipsTwo));
        QVERIFY(QFile::copy(footage + "/a_clip.mp4", clipsOne + "/shared.mp4"));
        QVERIFY(QFile::copy(footage + "/a_clip.mp4", clipsTwo + "/shared.mp4"));
        const QString one = makeWorkspace("One", clipsOne);
        const QString two = makeWorkspace("Two", clipsTwo);
        MainWindow w;
        w.openWorkspace(one);

        gemini.answers = {CannedAnswer::uploadStarted(), uploadedActive(),
                          analysed("Belongs to One", 1, 1)};
        w.onAnalyzeReelRequested(0);
        w.openWorkspace(two);
        QVERIFY(waitUntil([&] { return !w.hasRunningJob(); }, 30000));

        // The open project is untouched; the result was still saved where it belongs.
        QCOMPARE(w.currentWorkspace()->project_name, QString("Two"));
        QCOMPARE(statusOf(w, "shared"), ReelStatus::Pending);
        QVERIFY(!QFileInfo::exists(two + "/timelines/shared_timeline.json"));
        QVERIFY(QFileInfo::exists(one + "/timelines/shared_timeline.json"));
        QVERIFY(QFileInfo::exists(one + "/subtitles/shared_edited.srt"));
        QVERIFY(logText(w).contains("finished after its workspace was closed"));
        Workspace reloaded;
        QVERIFY(reloaded.load(one));
        QCOMPARE(reloaded.reels.at(0).status, ReelStatus::Analyzed);
        QCOMPARE(reloaded.reels.at(0).timeline.summary, QString("Belongs to One"));
    }

    void outsideTextIsNeverMarkup() {
        // A reel whose name holds markup, stored as the workspace file allows.
        const QString root = dir.filePath("markup");
        QVERIFY(TestSupport::writeFile(
            root + "/workspace.json",
            compact({{"project_name", "Markup"},
                     {"source_dir", footage},
                     {"reels", QJsonArray{QJsonObject{
                                   {"name", "<b>bold</b>"},
                                   {"source_path", footage + "/a_clip.mp4"},
                                   {"timeline_path", root + "/timelines/bold_timeline.json"},
                                   {"source_markers_path", root + "/markers/s.csv"},
                                   {"edited_markers_path", root + "/markers/e.csv"},
                                   {"source_srt_path", root + "/subtitles/s.srt"},
                                   {"edited_srt_path", root + "/subtitles/e.srt"}}}}})));
        MainWindow w;
        w.openWorkspace(root);
        gemini.answers = {CannedAnswer::uploadStarted(), uploadedActive(),
                          analysed("<i>x</i>", 1, 1)};
        w.onAnalyzeReelRequested(0);
        QVERIFY(waitUntil([&] { return !w.hasRunningJob(); }, 30000));

        QTextDocument* doc = w.copilotPanel()->findChild<QTextBrowser*>()->document();
        const QString text = doc->toPlainText();
        QVERIFY(text.contains("Successfully analyzed <b>bold</b>!"));
        QVERIFY(text.contains("• Summary: <i>x</i>"));
        // The message's own markup still applies: the name is set in bold.
        QTextCursor found = doc->find("<b>bold</b>!");
        QVERIFY(!found.isNull());
        QTextCursor inside(doc);
        inside.setPosition(found.selectionStart() + 1);
        QCOMPARE(inside.charFormat().fontWeight(), int(QFont::Bold));
        QCOMPARE(w.statusLabelWidget()->textFormat(), Qt::PlainText);
    }

    void missingKeyEndsTheBatch() {
        const QString root = makeWorkspace("NoKey", footage);
        MainWindow w;
        w.openWorkspace(root);
        qunsetenv("GEMINI_API_KEY");
        {
            DialogAnswerer answerer(QMessageBox::Ok);
            w.onBatchAnalyzeRequested();
            QVERIFY(answerer.titles.contains("API Key Missing"));
            // The settings dialog opens so that the key can be entered.
            QVERIFY(answerer.titles.contains("Tessaryn — Settings & Credentials"));
        }
        qputenv("GEMINI_API_KEY", "test-key-123");
        QVERIFY(!w.isBatchActive());
        QCOMPARE(statusOf(w, "a_clip"), ReelStatus::Pending);
        QCOMPARE(gemini.answers.size(), 0);
    }

    // Opening a project learns each clip's length and frame grid once, and keeps them.
    void openingProbesTheClipsOnce() {
        const QString root = makeWorkspace("Probed", footage);
        MainWindow w;
        w.openWorkspace(root);
        Workspace* ws = w.currentWorkspace();
        QVERIFY(waitUntil([&] {
            return TestSupport::readFile(root + "/workspace.json").contains("frame_rate");
        }));
        for (const Reel& reel : std::as_const(ws->reels)) {
            QVERIFY(reel.facts.known());
            QVERIFY(qAbs(reel.duration - 3.0) < 0.1);
        }
        Workspace reopened;
        QVERIFY(reopened.load(root));
        QVERIFY(reopened.reels.first().facts.known());
    }

    // Without a key the road still runs: the footage is measured here and nothing is sent.
    void withoutAKeyTheFootageIsMeasuredLocally() {
        const QString root = makeWorkspace("Local", footage);
        MainWindow w;
        w.openWorkspace(root);
        qunsetenv("GEMINI_API_KEY");
        const qsizetype requests = gemini.requests.size();
        {
            DialogAnswerer answerer(QMessageBox::Yes);
            w.onAnalyzeReelRequested(0);
            QVERIFY(answerer.titles.contains("API Key Missing"));
        }
        const bool ended = waitUntil([&] { return !w.hasRunningJob(); }, 30000);
        qputenv("GEMINI_API_KEY", "test-key-123");
        PipelineSettings restore = PipelineSettings::load();
        QCOMPARE(restore.analyzer, QString("local"));
        restore.analyzer = "gemini";
        QVERIFY(restore.save());
        QVERIFY(ended);
        QCOMPARE(statusOf(w, "a_clip"), ReelStatus::Analyzed);
        QCOMPARE(gemini.requests.size(), requests);
        QVERIFY(QFileInfo::exists(root + "/timelines/a_clip_timeline.json"));
    }

    // Two studios on one project would overwrite each other's cuts: the second is refused and
    // keeps what it had open; the first one's lock goes with it.
    void aSecondStudioOnOneWorkspaceIsRefused() {
        const QString root = makeWorkspace("Shared", footage);
        const QString other = makeWorkspace("Other", footage);
        auto first = std::make_unique<MainWindow>();
        first->openWorkspace(root);
        MainWindow second;
        second.openWorkspace(other);
        {
            DialogAnswerer answerer(QMessageBox::Ok);
            second.openWorkspace(root);
            QVERIFY(answerer.titles.contains("Workspace In Use"));
        }
        QCOMPARE(second.currentWorkspace()->root_path, QFileInfo(other).absoluteFilePath());
        first.reset();
        second.openWorkspace(root);
        QCOMPARE(second.currentWorkspace()->root_path, QFileInfo(root).absoluteFilePath());
    }

    // The status bar's Cancel button shows while a job runs and ends it, batch included; the
    // reel is marked failed and nothing further starts.
    void cancelButtonEndsTheRunningJob_data() {
        QTest::addColumn<bool>("batch");
        QTest::newRow("one analysis") << false;
        QTest::newRow("batch analysis") << true;
    }

    void cancelButtonEndsTheRunningJob() {
        QFETCH(bool, batch);
        const QString root = makeWorkspace(batch ? "CancelBatch" : "CancelOne", footage);
        MainWindow w;
        w.show();
        w.openWorkspace(root);
        auto* cancel = w.findChild<QPushButton*>("cancelJobsButton");
        QVERIFY(cancel);
        QVERIFY(!cancel->isVisible());
        gemini.requests.clear();
        gemini.answers = {CannedAnswer{200, QByteArray(), true}}; // the upload hangs
        if (batch)
            w.onBatchAnalyzeRequested();
        else
            w.onAnalyzeReelRequested(0);
        QVERIFY(waitUntil([&] { return !gemini.requests.isEmpty(); }, 10000));
        QVERIFY(cancel->isVisible());

        cancel->click();
        QCOMPARE(statusOf(w, "a_clip"), ReelStatus::Error);
        QVERIFY(!w.isBatchActive());
        QVERIFY(!w.hasRunningJob());
        QVERIFY(!cancel->isVisible());
        QTest::qWait(100);
        QCOMPARE(gemini.requests.size(), 1);
        QCOMPARE(statusOf(w, "b_clip"), ReelStatus::Pending);
        QVERIFY(logText(w).contains("Analysis failed for a_clip: Upload failed: Operation "
                                    "canceled"));
    }

    void aNewRequestEndsTheRunningOne() {
        const QString root = makeWorkspace("OneJob", footage);
        MainWindow w;
        w.openWorkspace(root);
        // The batch's first upload hangs; the user then asks for another reel.
        gemini.answers = {CannedAnswer{200, QByteArray(), true}, CannedAnswer::uploadStarted(),
                          uploadedActive(), analysed("Second", 1, 1)};
        w.onBatchAnalyzeRequested();
        QVERIFY(waitUntil([&] { return gemini.answers.size() == 3; }, 10000));
        QCOMPARE(statusOf(w, "a_clip"), ReelStatus::Analyzing);
        w.onAnalyzeReelRequested(2);

        // The first job ended on its own reel, and the batch with it: nothing else starts.
        QCOMPARE(statusOf(w, "a_clip"), ReelStatus::Error);
        QVERIFY(!w.isBatchActive());
        QVERIFY(waitUntil([&] { return !w.hasRunningJob(); }, 30000));
        QCOMPARE(statusOf(w, "c_clip"), ReelStatus::Analyzed);
        QCOMPARE(statusOf(w, "b_clip"), ReelStatus::Pending);
        QVERIFY(logText(w).contains("Analysis failed for a_clip:"));
        QCOMPARE(gemini.answers.size(), 0);
    }

    void batchRenderSkipsAReelWithoutSegments() {
        const QString root = makeWorkspace("Skip", footage);
        // a_clip was analysed but its answer held no segments; b_clip has a real timeline.
        QVERIFY(TestSupport::writeFile(root + "/timelines/a_clip_timeline.json", "{}"));
        TimelineData data =
            TimelineData::fromJson(QJsonDocument::fromJson(modelText("B").toUtf8()).object());
        TimelineMath::computeTimeline(data, 10.0, 2.0);
        QVERIFY(SafeFile::writeJsonObject(root + "/timelines/b_clip_timeline.json", data.toJson()));
        MainWindow w;
        w.openWorkspace(root);
        QCOMPARE(statusOf(w, "a_clip"), ReelStatus::Analyzed);

        DialogAnswerer answerer(QMessageBox::Ok);
        w.onBatchRenderRequested();
        QVERIFY(waitUntil([&] { return !w.isBatchActive() && !w.hasRunningJob(); }, 60000));
        QVERIFY(answerer.titles.isEmpty()); // no box stalls the queue
        QVERIFY(logText(w).contains("Skipped a_clip"));
        QCOMPARE(statusOf(w, "a_clip"), ReelStatus::Analyzed);
        QCOMPARE(statusOf(w, "b_clip"), ReelStatus::Completed);
        QCOMPARE(w.statusLabelWidget()->text(), QString("Batch operation complete."));
    }

    void newWorkspaceIsAnnouncedOnlyWhenCreated_data() {
        QTest::addColumn<bool>("writable");
        QTest::newRow("created") << true;
        QTest::newRow("cannot be written") << false;
    }

    void newWorkspaceIsAnnouncedOnlyWhenCreated() {
        QFETCH(bool, writable);
        const QString previous = makeWorkspace(writable ? "BeforeA" : "BeforeB", footage);
        QVERIFY(TestSupport::writeFile(dir.filePath("a-file"), "x"));
        const QString target = writable ? dir.filePath("fresh-project")
                                        : dir.filePath("a-file/project"); // below a file
        MainWindow w;
        w.openWorkspace(previous);
        const QString before = w.currentWorkspace()->project_name;

        QStringList boxes;
        ModalAnswerer answerer([&](QWidget* modal) {
            if (auto* box = qobject_cast<QMessageBox*>(modal)) {
                boxes << box->windowTitle();
                ModalAnswerer::click(modal, QMessageBox::Ok);
                return;
            }
            const QList<QLineEdit*> edits = modal->findChildren<QLineEdit*>();
            edits.at(0)->setText("Fresh");
            edits.at(1)->setText(footage);
            edits.at(2)->setText(target);
            for (QPushButton* b : modal->findChildren<QPushButton*>())
                if (b->objectName() == "goldButton")
                    b->click();
        });
        w.onNewWorkspace();

        if (writable) {
            QCOMPARE(w.windowTitle(), QString("Tessaryn — Fresh"));
            QVERIFY(logText(w).contains("— Created new workspace: Fresh —"));
            QVERIFY(QFileInfo(target + "/workspace.json").isFile());
            QCOMPARE(w.currentWorkspace()->reels.size(), 3);
            QVERIFY(boxes.isEmpty());
        } else {
            QCOMPARE(boxes, QStringList{"Workspace Not Created"});
            QVERIFY(!logText(w).contains("Created new workspace"));
            QCOMPARE(w.currentWorkspace()->project_name, before);
            QCOMPARE(w.currentWorkspace()->root_path, previous);
            QVERIFY(w.statusLabelWidget()->text().startsWith("Could not create the workspace"));
        }
    }

    void metadataIsAnnounced() {
        MainWindow w;
        {
            ModalAnswerer answerer([](QWidget* modal) {
                for (QLineEdit* edit : modal->findChildren<QLineEdit*>())
                    if (edit->text() == "Project Episode 01")
                        edit->setText("  Episode <2>  ");
                static_cast<QDialog*>(modal)->accept();
            });
            w.onOpenMetadata();
            QCOMPARE(answerer.titles, QStringList{"Tessaryn — Project & Creator Metadata"});
        }
        QVERIFY(logText(w).contains(
            "— Metadata updated: Episode <2> (Technical Build & Demonstration) by Tolvane —"));
    }

    void analysisUsesTheSavedPipelineValues() {
        const QString root = makeWorkspace("Saved", footage);
        PipelineSettings saved = PipelineSettings::load();
        saved.assembly_speed = 5.0;
        QVERIFY(saved.save());
        MainWindow w;
        w.openWorkspace(root);
        gemini.requests.clear();
        gemini.answers = {CannedAnswer::uploadStarted(), uploadedActive(),
                          analysed("Slower", 1, 1)};
        w.onAnalyzeReelRequested(0);
        QVERIFY(waitUntil([&] { return !w.hasRunningJob(); }, 30000));
        saved.assembly_speed = 10.0;
        QVERIFY(saved.save());

        const Reel* reel = w.currentWorkspace()->findReelByName("a_clip");
        QCOMPARE(reel->timeline.segments.at(1).speed_factor, 5.0);
        QVERIFY(qFuzzyCompare(reel->timeline.total_edited_duration, 1.3));
        QVERIFY(analysisRequestNamesModel(gemini, saved.model));
    }

    void closingAsksWhileAJobRuns() {
        const QString root = makeWorkspace("Closing", footage);
        MainWindow w;
        w.show();
        w.openWorkspace(root);
        gemini.answers = {CannedAnswer{200, QByteArray(), true}}; // the upload hangs
        w.onAnalyzeReelRequested(0);
        QVERIFY(waitUntil([&] { return !gemini.requests.isEmpty(); }, 10000));
        {
            DialogAnswerer no(QMessageBox::No);
            QVERIFY(!w.close());
            QCOMPARE(no.titles, QStringList{"Job in Progress"});
        }
        QVERIFY(w.isVisible());
        QVERIFY(w.hasRunningJob());
        {
            DialogAnswerer yes(QMessageBox::Yes);
            QVERIFY(w.close());
        }
        QVERIFY(!w.hasRunningJob());
        QVERIFY(!w.isVisible());
        gemini.answers.clear();
    }
};

QTEST_MAIN(MainWindowTest)
#include "tst_mainwindow.moc"
