// Hand edits on the timeline track, driven with the mouse and keys: first on the track alone,
// then in the studio, where each edit is saved at once, undone and redone, and a new analysis
// asks before it replaces the edits.
#include "ModalAnswerer.h"
#include "TestSupport.h"
#include "ai/GeminiStandIn.h"
#include "media/MediaTestSupport.h"
#include "timeline/SafeFile.h"
#include "timeline/TimelineEdit.h"
#include "timeline/TimelineMath.h"
#include "ui/MainWindow.h"
#include "ui/TimelineTrackEditor.h"
#include "ui/TimelineWidget.h"
#include "workspace/Workspace.h"

#include <QAction>
#include <QApplication>
#include <QContextMenuEvent>
#include <QDateTime>
#include <QInputDialog>
#include <QJsonArray>
#include <QJsonDocument>
#include <QLabel>
#include <QMenu>
#include <QTemporaryDir>
#include <QtTest>

using namespace Tessaryn;

namespace {

Segment seg(double start, double end, Classification cls, const QString& text) {
    Segment s;
    s.source_start = start;
    s.source_end = end;
    s.classification = cls;
    s.description = text;
    return s;
}

// 0–10 s kept, 10–40 s of assembly, 40–50 s of pause.
TimelineData fiftySeconds() {
    TimelineData data;
    data.segments = {seg(0, 10, Classification::Milestone, "Intro"),
                     seg(10, 40, Classification::RepetitiveAssembly, "Screws"),
                     seg(40, 50, Classification::StaticPause, "Idle")};
    TimelineMath::computeTimeline(data, 10.0, 2.0);
    return data;
}

// "0-10:M 10-40:R 40-50:P": the source ranges and classes, three decimals.
QString layout(const TimelineData& data) {
    QStringList parts;
    for (const Segment& s : data.segments) {
        const char cls = s.classification == Classification::StaticPause          ? 'P'
                         : s.classification == Classification::RepetitiveAssembly ? 'R'
                                                                                  : 'M';
        parts
            << QStringLiteral("%1-%2:%3")
                   .arg(QString::number(s.source_start, 'f', 3)
                            .remove(QRegularExpression("\\.?0+$")),
                        QString::number(s.source_end, 'f', 3).remove(QRegularExpression("\\.?0+$")),
                        QChar(cls));
    }
    return parts.join(' ');
}

QByteArray compact(const QJsonObject& o) {
    return QJsonDocument(o).toJson(QJsonDocument::Compact);
}

CannedAnswer uploadedActive() {
    return {200, compact({{"file", QJsonObject{{"name", "files/clip1"},
                                               {"uri", "https://files.example/files/clip1"},
                                               {"state", "ACTIVE"}}}})};
}

CannedAnswer analysedAgain() {
    const QJsonArray segments{QJsonObject{{"source_start", 0.0},
                                          {"source_end", 3.0},
                                          {"classification", "milestone"},
                                          {"description", "All of it"}}};
    const QJsonObject part{
        {"text", QString::fromUtf8(compact({{"summary", "Again"}, {"segments", segments}}))}};
    const QJsonObject content{{"parts", QJsonArray{part}}};
    return {200, compact({{"candidates", QJsonArray{QJsonObject{{"content", content}}}}})};
}

// On the source axis a track 500 px wide over 50 s: ten pixels a second; on the edited axis
// 520 px over the film's 13 s: forty a second. Edits are fed back as the studio does.
struct EditedTrack {
    TimelineWidget view;
    QStringList commands;
    QStringList refusals;
    QList<double> seeks;

    explicit EditedTrack(TimelineAxis axis = TimelineAxis::Source) {
        view.resize(axis == TimelineAxis::Edited ? 520 : 500, 85);
        view.setAxis(axis);
        view.setTimelineData(fiftySeconds());
        view.trackEditor()->editCallback = [this](const TimelineData& data, const QString& name) {
            commands << name;
            view.setTimelineData(data);
        };
        view.trackEditor()->refusedCallback = [this](const QString& why) { refusals << why; };
        view.seekRequestedCallback = [this](double s) { seeks << s; };
    }
};

} // namespace

class TimelineEditsTest : public QObject {
    Q_OBJECT

private:
    QTemporaryDir dir;
    GeminiStandIn gemini;
    QString footage;

    // A workspace over one 3-second clip, analysed: 0–1 s kept, 1–2.5 s sped, 2.5–3 s cut.
    QString analysedWorkspace(const QString& name) {
        const QString root = dir.filePath(name);
        Workspace ws;
        if (!ws.create(root, name, footage) || ws.reels.size() != 1)
            return QString();
        TimelineData data;
        data.summary = "Clip";
        data.segments = {seg(0, 1, Classification::Milestone, "Start"),
                         seg(1, 2.5, Classification::RepetitiveAssembly, "Screws"),
                         seg(2.5, 3, Classification::StaticPause, "Idle")};
        TimelineMath::computeTimeline(data, 10.0, 2.0);
        ws.updateReelTimeline(0, data);
        if (!SafeFile::writeJsonObject(ws.reels.at(0).timeline_path, data.toJson()) || !ws.save())
            return QString();
        return root;
    }

    static void openOnTrack(MainWindow& w, const QString& root) {
        w.openWorkspace(root);
        // The clip's frame grid is known before anything snaps to it.
        QVERIFY(waitUntil([&] { return w.currentWorkspace()->reels.at(0).facts.known(); }));
        w.onReelActivated(0);
        w.show();
        QVERIFY(QTest::qWaitForWindowActive(&w));
    }

    static QByteArray stored(MainWindow& w) {
        return TestSupport::readFile(w.currentWorkspace()->reels.at(0).timeline_path);
    }

private slots:
    void initTestCase() {
        QVERIFY(dir.isValid());
        TestSupport::isolateStudio(dir.path());
        QVERIFY(gemini.start());
        qputenv("TESSARYN_GEMINI_BASE_URL", gemini.baseUrl().toUtf8());
        footage = dir.filePath("footage");
        QVERIFY(QDir().mkpath(footage));
        QVERIFY(MediaTestSupport::generateClip(footage + "/take.mp4", 320, 240, 25, 3.0));
    }

    void gesturesOnTheTrack_data() {
        QTest::addColumn<bool>("editedAxis");
        QTest::addColumn<QString>("gesture");
        QTest::addColumn<QString>("expected");
        QTest::addColumn<QStringList>("commands");

        QTest::newRow("a drag moves a boundary, snapped to a frame")
            << false << "drag 100 152"
            << "0-15.2:M 15.2-40:R 40-50:P" << QStringList{"Move Boundary"};
        QTest::newRow("a boundary is taken hold of within reach")
            << false << "drag 103 120"
            << "0-12:M 12-40:R 40-50:P" << QStringList{"Move Boundary"};
        QTest::newRow("a drag stops a frame short of the next segment's end")
            << false << "drag 100 450"
            << "0-39.967:M 39.967-40:R 40-50:P" << QStringList{"Move Boundary"};
        QTest::newRow("a drag stops a frame after the previous segment's start")
            << false << "drag 400 20"
            << "0-10:M 10-10.033:R 10.033-50:P" << QStringList{"Move Boundary"};
        QTest::newRow("3 turns the clicked segment into a pause")
            << false << "click 250; key 3"
            << "0-10:M 10-40:P 40-50:P" << QStringList{"Change Class"};
        QTest::newRow("shift extends the selection to a range")
            << false << "click 50; shift 250; key 2"
            << "0-10:R 10-40:R 40-50:P" << QStringList{"Change Class"};
        QTest::newRow("S splits at the playhead")
            << false << "playhead 20; key S"
            << "0-10:M 10-20:R 20-40:R 40-50:P" << QStringList{"Split Segment"};
        QTest::newRow("M merges with the next")
            << false << "click 50; key M"
            << "0-40:M 40-50:P" << QStringList{"Merge Segments"};
        QTest::newRow("a drag away from a boundary only seeks")
            << false << "drag 250 300"
            << "0-10:M 10-40:R 40-50:P" << QStringList{};
        QTest::newRow("a class key without a selection changes nothing")
            << false << "key 1"
            << "0-10:M 10-40:R 40-50:P" << QStringList{};

        // On the edited axis the same gestures land where the film shows them.
        QTest::newRow("edited axis: a drag maps into the sped segment")
            << true << "drag 400 440"
            << "0-20:M 20-40:R 40-50:P" << QStringList{"Move Boundary"};
        QTest::newRow("edited axis: a drag back into the kept segment")
            << true << "drag 400 200"
            << "0-5:M 5-40:R 40-50:P" << QStringList{"Move Boundary"};
        QTest::newRow("edited axis: 1 on the clicked segment")
            << true << "click 480; key 1"
            << "0-10:M 10-40:M 40-50:P" << QStringList{"Change Class"};
        QTest::newRow("edited axis: S splits where the cut's picture comes from")
            << true << "playhead 11.5; key S"
            << "0-10:M 10-25:R 25-40:R 40-50:P" << QStringList{"Split Segment"};
        QTest::newRow("edited axis: a pause's boundaries cannot be held")
            << true << "drag 519 300"
            << "0-10:M 10-40:R 40-50:P" << QStringList{};
    }

    void gesturesOnTheTrack() {
        QFETCH(bool, editedAxis);
        QFETCH(QString, gesture);
        QFETCH(QString, expected);
        QFETCH(QStringList, commands);

        EditedTrack track(editedAxis ? TimelineAxis::Edited : TimelineAxis::Source);
        TimelineWidget& view = track.view;
        for (const QString& step : gesture.split("; ")) {
            const QStringList word = step.split(' ');
            const auto at = [&](int i) { return QPoint(word[i].toInt(), 50); };
            if (word[0] == "drag") {
                QTest::mousePress(&view, Qt::LeftButton, {}, at(1));
                QTest::mouseMove(&view, at(2));
                QTest::mouseRelease(&view, Qt::LeftButton, {}, at(2));
            } else if (word[0] == "click" || word[0] == "shift") {
                const Qt::KeyboardModifiers mods =
                    word[0] == "shift" ? Qt::ShiftModifier : Qt::NoModifier;
                QTest::mouseClick(&view, Qt::LeftButton, mods, at(1));
            } else if (word[0] == "playhead") {
                view.setPlayheadSeconds(word[1].toDouble(), 0.0);
            } else {
                QTest::keyClick(&view, word[1].at(0).toLatin1());
            }
        }
        QCOMPARE(layout(view.timelineData()), expected);
        QCOMPARE(track.commands, commands);
        if (commands.isEmpty() && gesture.startsWith("drag 250"))
            QCOMPARE(track.seeks.last(), 30.0);
        if (gesture.startsWith("key 1"))
            QCOMPARE(track.refusals.size(), 1);
        // Every edit leaves the edited axis laid out again.
        TimelineData relaid = view.timelineData();
        TimelineMath::layOutEditedAxis(relaid);
        QCOMPARE(relaid.toJson(), view.timelineData().toJson());
    }

    // A right-click selects the segment under it and opens the commands for it.
    void rightClickOpensTheCommands() {
        EditedTrack track;
        track.view.show();
        QVERIFY(QTest::qWaitForWindowExposed(&track.view));
        const QPoint at(150, 50);
        QTest::mouseClick(&track.view, Qt::RightButton, {}, at);
        QContextMenuEvent event(QContextMenuEvent::Mouse, at, track.view.mapToGlobal(at));
        QApplication::sendEvent(&track.view, &event);
        auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
        QVERIFY(menu);
        const auto named = [](const QMenu* in, const QString& text) -> QAction* {
            for (QAction* action : in->actions())
                if (action->text() == text)
                    return action;
            return nullptr;
        };
        // The segment's class is the checked one.
        QVERIFY(named(menu, "Repetitive Work")->isChecked());
        QVERIFY(!named(menu, "Milestone")->isChecked());
        QMenu* speed = named(menu, "Speed")->menu();
        QVERIFY(speed);
        named(speed, "2x")->trigger();
        menu->close();
        QCOMPARE(track.commands, QStringList{"Set Speed"});
        QCOMPARE(track.view.timelineData().segments.at(1).speed_factor, 2.0);
        QCOMPARE(track.view.timelineData().total_edited_duration, 25.0);
    }

    void doubleClickEditsTheDescription_data() {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<bool>("accepted");
        QTest::addColumn<QString>("expected");

        QTest::newRow("typed text, trimmed") << "  Coffee break " << true << "Coffee break";
        QTest::newRow("cancelled") << "Coffee" << false << "Idle";
        QTest::newRow("unchanged") << "Idle" << true << "Idle";
    }

    void doubleClickEditsTheDescription() {
        QFETCH(QString, typed);
        QFETCH(bool, accepted);
        QFETCH(QString, expected);

        EditedTrack track;
        ModalAnswerer answerer([&](QWidget* modal) {
            auto* input = qobject_cast<QInputDialog*>(modal);
            if (input && accepted) {
                input->setTextValue(typed);
                input->accept();
            } else {
                ModalAnswerer::dismiss(modal);
            }
        });
        QTest::mouseDClick(&track.view, Qt::LeftButton, {}, QPoint(450, 50));
        QCOMPARE(answerer.titles, QStringList{"Segment Description"});
        QCOMPARE(track.view.timelineData().segments.at(2).description, expected);
        const bool changed = expected != "Idle";
        QCOMPARE(track.commands, changed ? QStringList{"Edit Description"} : QStringList{});
        QCOMPARE(track.view.timelineData().segments.at(2).edited, changed);
    }

    // In the studio: drag, 3, Ctrl+Z and Ctrl+Shift+Z, each saved at once.
    void editsAreSavedAndUndone() {
        const QString root = analysedWorkspace("Edits");
        QVERIFY(!root.isEmpty());
        MainWindow w;
        openOnTrack(w, root);
        TimelineWidget* track = w.timelinePanel();
        const QByteArray original = stored(w);
        QVERIFY(!w.undoEditAction()->isEnabled());

        // The boundary at 1 s is dragged to about 2 s, onto the clip's 25 fps grid.
        const QPoint from(track->secondsToX(1.0), 50);
        const QPoint to(track->secondsToX(2.0) + 1, 50);
        QTest::mousePress(track, Qt::LeftButton, {}, from);
        QTest::mouseMove(track, to);
        QTest::mouseRelease(track, Qt::LeftButton, {}, to);
        const StreamFacts facts = w.currentWorkspace()->reels.at(0).facts;
        const double boundary = TimelineEdit::snapToFrame(track->xToSeconds(to.x()), facts);
        QVERIFY(std::abs(boundary * 25 - std::round(boundary * 25)) < 1e-9);
        const Reel& reel = w.currentWorkspace()->reels.at(0);
        QCOMPARE(reel.timeline.segments.at(0).source_end, boundary);
        QCOMPARE(reel.timeline.segments.at(1).source_start, boundary);
        QCOMPARE(reel.status, ReelStatus::Analyzed); // no analysis is pretended
        const QByteArray dragged = stored(w);
        QCOMPARE(dragged, QJsonDocument(reel.timeline.toJson()).toJson());
        QCOMPARE(w.undoEditAction()->text(), QString("&Undo Move Boundary"));

        // A cut rendered after that is current until the next edit makes it stale.
        const QDateTime now = QDateTime::currentDateTimeUtc();
        QVERIFY(TestSupport::writeFile(reel.rendered_path, "cut"));
        for (const auto& [path, age] :
             {std::pair{reel.timeline_path, -120}, {reel.rendered_path, -60}}) {
            QFile file(path);
            QVERIFY(file.open(QIODevice::ReadWrite));
            QVERIFY(file.setFileTime(now.addSecs(age), QFileDevice::FileModificationTime));
        }
        QVERIFY(!reel.cutIsStale());

        // 3 on the first segment cuts it out.
        QTest::mouseClick(track, Qt::LeftButton, {}, QPoint(track->secondsToX(0.5), 50));
        QTest::keyClick(track, Qt::Key_3);
        QCOMPARE(reel.timeline.segments.at(0).classification, Classification::StaticPause);
        QCOMPARE(reel.timeline.segments.at(0).edited_end, 0.0);
        QCOMPARE(w.undoEditAction()->text(), QString("&Undo Change Class"));
        const QByteArray paused = stored(w);
        QVERIFY(paused != dragged);
        QVERIFY(reel.cutIsStale());

        QTest::keyClick(track, Qt::Key_Z, Qt::ControlModifier);
        QCOMPARE(reel.timeline.segments.at(0).classification, Classification::Milestone);
        QCOMPARE(stored(w), dragged);
        QCOMPARE(w.redoEditAction()->text(), QString("&Redo Change Class"));
        QTest::keyClick(track, Qt::Key_Z, Qt::ControlModifier | Qt::ShiftModifier);
        QCOMPARE(stored(w), paused);

        // The saved file is what a new opening reads, as the command line does.
        Workspace reread;
        QVERIFY(reread.load(root));
        QCOMPARE(reread.reels.at(0).timeline.toJson(), reel.timeline.toJson());
        QVERIFY(reread.reels.at(0).timeline.hasHandEdits());

        // Undone all the way: the file is byte for byte the analysis again.
        QTest::keyClick(track, Qt::Key_Z, Qt::ControlModifier);
        QTest::keyClick(track, Qt::Key_Z, Qt::ControlModifier);
        QCOMPARE(stored(w), original);
        QVERIFY(!w.undoEditAction()->isEnabled());
        QCOMPARE(w.undoEditAction()->text(), QString("&Undo"));
    }

    // A timeline that cannot be written is told; the edit stays on screen for the next try.
    void aFailedSaveIsTold() {
        const QString root = analysedWorkspace("Unwritable");
        QVERIFY(!root.isEmpty());
        MainWindow w;
        openOnTrack(w, root);
        const QString path = w.currentWorkspace()->reels.at(0).timeline_path;
        // A folder where the file should be: no write can replace it, whoever runs the test.
        QVERIFY(QFile::remove(path));
        QVERIFY(QDir().mkpath(path + "/blocked"));
        TimelineWidget* track = w.timelinePanel();
        QTest::mouseClick(track, Qt::LeftButton, {}, QPoint(track->secondsToX(0.5), 50));
        QTest::keyClick(track, Qt::Key_2);
        QCOMPARE(w.statusLabelWidget()->text(),
                 QString("Could not save the edit of take to %1").arg(path));
        QCOMPARE(w.currentWorkspace()->reels.at(0).timeline.segments.at(0).classification,
                 Classification::RepetitiveAssembly);
        QVERIFY(w.undoEditAction()->isEnabled());
    }

    void reanalysisAsksBeforeReplacingEdits() {
        const QString root = analysedWorkspace("Reanalysis");
        QVERIFY(!root.isEmpty());
        MainWindow w;
        openOnTrack(w, root);
        TimelineWidget* track = w.timelinePanel();
        QTest::mouseClick(track, Qt::LeftButton, {}, QPoint(track->secondsToX(1.5), 50));
        QTest::keyClick(track, Qt::Key_1);
        const QByteArray edited = stored(w);
        QVERIFY(w.currentWorkspace()->reels.at(0).timeline.hasHandEdits());

        gemini.requests.clear();
        {
            ModalAnswerer no([](QWidget* m) { ModalAnswerer::click(m, QMessageBox::No); });
            w.onAnalyzeReelRequested(0);
            QCOMPARE(no.titles, QStringList{"Replace Hand Edits?"});
        }
        QVERIFY(!w.hasRunningJob());
        QVERIFY(gemini.requests.isEmpty());
        QCOMPARE(stored(w), edited);
        QCOMPARE(w.currentWorkspace()->reels.at(0).status, ReelStatus::Analyzed);

        gemini.answers = {CannedAnswer::uploadStarted(), uploadedActive(), analysedAgain()};
        {
            ModalAnswerer yes([](QWidget* m) { ModalAnswerer::click(m, QMessageBox::Yes); });
            w.onAnalyzeReelRequested(0);
            QCOMPARE(yes.titles, QStringList{"Replace Hand Edits?"});
        }
        QVERIFY(waitUntil([&] { return !w.hasRunningJob(); }, 30000));
        const TimelineData replaced = w.currentWorkspace()->reels.at(0).timeline;
        QCOMPARE(replaced.summary, QString("Again"));
        QVERIFY(!replaced.hasHandEdits());
        // The edits' history went with them.
        QVERIFY(!w.undoEditAction()->isEnabled());
    }

    // A batch takes reels that failed; one with hand edits the user keeps is passed over.
    void aBatchPassesOverEditsTheUserKeeps() {
        const QString root = analysedWorkspace("Batch");
        QVERIFY(!root.isEmpty());
        MainWindow w;
        openOnTrack(w, root);
        TimelineWidget* track = w.timelinePanel();
        QTest::mouseClick(track, Qt::LeftButton, {}, QPoint(track->secondsToX(2.7), 50));
        QTest::keyClick(track, Qt::Key_2);
        w.currentWorkspace()->updateReelStatus(0, ReelStatus::Error);
        const QByteArray edited = stored(w);

        gemini.requests.clear();
        ModalAnswerer no([](QWidget* m) { ModalAnswerer::click(m, QMessageBox::No); });
        w.onBatchAnalyzeRequested();
        QCOMPARE(no.titles, QStringList{"Replace Hand Edits?"});
        QVERIFY(!w.isBatchActive());
        QVERIFY(!w.hasRunningJob());
        QCOMPARE(w.statusLabelWidget()->text(), QString("Batch operation complete."));
        QVERIFY(gemini.requests.isEmpty());
        QCOMPARE(stored(w), edited);
    }
};

QTEST_MAIN(TimelineEditsTest)
#include "tst_timelineedits.moc"
