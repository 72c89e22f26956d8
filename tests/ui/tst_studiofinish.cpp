// What a new user meets in the studio: a window that fits a 1280x720 screen whatever the
// banner says, a reel list that shows whole names and lengths, stale cuts kept out of the
// preview, choices that stay with the workspace, and menus that say what they mean.
#include "ModalAnswerer.h"
#include "TestSupport.h"
#include "app/Theme.h"
#include "media/MediaTestSupport.h"
#include "pipeline/ReelOutputWriter.h"
#include "selfupdate/UpdateState.h"
#include "timeline/TimelineMath.h"
#include "ui/MainWindow.h"
#include "ui/ReelWidget.h"
#include "ui/ReleaseDialog.h"
#include "ui/VideoPlayerWidget.h"
#include "workspace/Workspace.h"

#include <QApplication>
#include <QDateTime>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenuBar>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTreeWidget>
#include <QtTest>

using namespace Tessaryn;

namespace {

const QString LongName = QStringLiteral("01_bench_assembly_left_camera_session_take_0007");

QTreeWidget* reelTree(MainWindow& w) {
    return w.reelPanel()->findChild<QTreeWidget*>();
}

QTreeWidgetItem* rowOf(MainWindow& w, const QString& name) {
    QTreeWidget* tree = reelTree(w);
    for (int i = 0; i < tree->topLevelItemCount(); ++i) {
        if (tree->topLevelItem(i)->text(1) == name)
            return tree->topLevelItem(i);
    }
    return nullptr;
}

QPushButton* buttonIn(QWidget* parent, const QString& text) {
    for (QPushButton* b : parent->findChildren<QPushButton*>())
        if (b->text() == text)
            return b;
    return nullptr;
}

} // namespace

class StudioFinishTest : public QObject {
    Q_OBJECT

    QTemporaryDir dir;
    QString footage;

    QString makeWorkspace(const QString& name) {
        Workspace ws;
        const QString root = dir.filePath(name);
        return ws.create(root, name, footage) ? root : QString();
    }

private slots:
    void initTestCase() {
        QVERIFY(dir.isValid());
        TestSupport::isolateStudio(dir.path());
        Theme::applyTheme(*qApp);
        footage = dir.filePath("footage");
        QVERIFY(QDir().mkpath(footage));
        QVERIFY(
            MediaTestSupport::generateClip(footage + "/" + LongName + ".mp4", 160, 120, 25, 2.0));
        QVERIFY(MediaTestSupport::generateClip(footage + "/short.mp4", 160, 120, 25, 3.0));
    }

    void fitsA1280x720ScreenWithALongBannerError() {
        MainWindow w;
        selfupdate::UpdateState state;
        state.phase = selfupdate::UpdatePhase::Error;
        state.userInitiated = true;
        state.manifest.packageUrl = "https://updates.example/tessaryn.tar.gz";
        std::string error = "Downloaded package digest mismatch: expected ";
        while (error.size() < 300)
            error += "0123456789abcdef";
        state.errorMessage = error;
        w.handleSelfUpdateStateChanged(state);
        QVERIFY(w.isUpdateBannerVisible());

        w.resize(1280, 720);
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        const QSize least = w.minimumSize().expandedTo(w.minimumSizeHint());
        QVERIFY2(least.width() <= 1280 && least.height() <= 720,
                 qPrintable(QString("%1x%2").arg(least.width()).arg(least.height())));
        QVERIFY(w.width() <= 1280 && w.height() <= 720);
        // The whole text stays available; what the banner shows is cut to fit.
        QVERIFY(w.updateBannerText().contains(QString::fromStdString(error)));
        QLabel* shown = nullptr;
        for (QLabel* label : w.findChildren<QLabel*>())
            if (label->toolTip() == w.updateBannerText())
                shown = label;
        QVERIFY(shown && shown->text().contains(QChar(0x2026)));

        // The banner's action reads as a gold button, not dark text on the banner's dark.
        QPushButton* retry = buttonIn(&w, "Retry Update");
        QVERIFY(retry && retry->isVisible());
        const QColor centre =
            retry->grab().toImage().pixelColor(retry->width() / 2, retry->height() - 4);
        QVERIFY2(centre.red() > 120 && centre.red() > centre.blue() + 40,
                 qPrintable(centre.name()));
    }

    void progressShowsTimeTakenAndLeft_data() {
        QTest::addColumn<qint64>("elapsedMs");
        QTest::addColumn<int>("percent");
        QTest::addColumn<QString>("format");
        QTest::newRow("start") << qint64(0) << 0 << "%p% · 0:00 elapsed";
        QTest::newRow("too early to tell") << qint64(2500) << 40 << "%p% · 0:02 elapsed";
        QTest::newRow("a quarter in a minute")
            << qint64(60000) << 25 << "%p% · 1:00 elapsed · ~3:00 left";
        QTest::newRow("hours") << qint64(2 * 3600000 + 5000) << 50
                               << "%p% · 2:00:05 elapsed · ~2:00:05 left";
        QTest::newRow("done") << qint64(90000) << 100 << "%p% · 1:30 elapsed";
    }

    void progressShowsTimeTakenAndLeft() {
        QFETCH(qint64, elapsedMs);
        QFETCH(int, percent);
        QFETCH(QString, format);
        QCOMPARE(MainWindow::progressFormat(elapsedMs, percent), format);
    }

    void menuLabelsShowTheirAmpersand_data() {
        QTest::addColumn<QString>("shown");
        QTest::newRow("settings") << "Project Settings & Credentials...";
        QTest::newRow("metadata") << "Project & Creator Metadata...";
        QTest::newRow("usage") << "AI Token & Cost Telemetry...";
    }

    void menuLabelsShowTheirAmpersand() {
        QFETCH(QString, shown);
        MainWindow w;
        QStringList labels;
        for (QAction* menu : w.menuBar()->actions()) {
            for (QAction* action : menu->menu()->actions()) {
                // Qt shows "&&" as "&" and takes a single "&" as the mnemonic marker.
                QString text = action->text();
                text.replace("&&", QString(QChar(1))).remove('&').replace(QChar(1), '&');
                labels << text;
            }
        }
        QVERIFY2(labels.contains(shown), qPrintable(labels.join(" | ")));
    }

    void reelListShowsWholeNamesAndLengthsAfterAScan() {
        const QString root = makeWorkspace("Lengths");
        MainWindow w;
        w.resize(1280, 720);
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        QVERIFY(w.reelPanel()->isStartPanelShown());
        w.openWorkspace(root);
        QVERIFY(!w.reelPanel()->isStartPanelShown());
        QVERIFY(QTest::qWaitFor(
            [&] {
                QTreeWidgetItem* row = rowOf(w, LongName);
                return row && row->text(3) != "--:--" && rowOf(w, "short")->text(3) != "--:--";
            },
            30000));
        QTreeWidgetItem* row = rowOf(w, LongName);
        QCOMPARE(row->text(3), TimelineMath::formatTimecode(2.0, false, 30.0));
        QCOMPARE(rowOf(w, "short")->text(3), TimelineMath::formatTimecode(3.0, false, 30.0));
        QCOMPARE(row->toolTip(1), LongName);
        QCOMPARE(reelTree(w)->textElideMode(), Qt::ElideMiddle);
        // Every column but the name fits its text; the name takes what is left, which on a
        // 1280-pixel screen is room for a usual take name before any elision.
        QTreeWidget* tree = reelTree(w);
        QVERIFY2(tree->columnWidth(1) >= tree->fontMetrics().horizontalAdvance("01_bench_setup_"),
                 qPrintable(QString::number(tree->columnWidth(1))));
        for (int column : {0, 2, 3, 4}) {
            const int needed = tree->fontMetrics().horizontalAdvance(row->text(column));
            QVERIFY2(tree->columnWidth(column) >= needed,
                     qPrintable(QString("column %1").arg(column)));
        }
    }

    void startPanelWhenNothingIsOpen() {
        MainWindow w;
        QVERIFY(w.reelPanel()->isStartPanelShown());
        QVERIFY(w.reelPanel()->startPanelText().contains("No workspace is open"));
        QVERIFY(buttonIn(w.reelPanel(), "New Workspace..."));
        QStringList titles;
        ModalAnswerer answerer([&](QWidget* modal) {
            titles << modal->windowTitle();
            ModalAnswerer::dismiss(modal);
        });
        buttonIn(w.reelPanel(), "Open Workspace...")->click();
        QCOMPARE(titles, QStringList{"Open Workspace File"});

        Workspace empty;
        QVERIFY(empty.create(dir.filePath("Empty"), "Empty", dir.filePath("nothing-here")));
        w.openWorkspace(dir.filePath("Empty"));
        QVERIFY(w.reelPanel()->startPanelText().contains("no reels yet"));
    }

    void staleCutIsNotPreviewedAsCurrent() {
        const QString root = makeWorkspace("Stale");
        MainWindow w;
        w.openWorkspace(root);
        Workspace* ws = w.currentWorkspace();
        int index = -1;
        for (int i = 0; i < ws->reels.size(); ++i)
            if (ws->reels.at(i).name == "short")
                index = i;
        QVERIFY(index >= 0);
        Reel& reel = ws->reels[index];
        TimelineData data;
        Segment whole;
        whole.source_end = 3.0;
        whole.classification = Classification::Milestone;
        data.segments = {whole};
        TimelineMath::computeTimeline(data, 10.0, 2.0);
        QVERIFY(ReelOutputWriter::writeAnalysis(reel, data).timelineSaved);
        ws->updateReelTimeline(index, data);
        // A cut rendered before the timeline was written again.
        QVERIFY(QFile::copy(reel.source_path, reel.rendered_path));
        QFile cut(reel.rendered_path);
        QVERIFY(cut.open(QIODevice::ReadWrite));
        QVERIFY(cut.setFileTime(QDateTime::currentDateTime().addSecs(-120),
                                QFileDevice::FileModificationTime));
        cut.close();
        ws->updateReelStatus(index, ReelStatus::Completed);

        QTreeWidgetItem* row = rowOf(w, "short");
        QCOMPARE(row->text(2), QString("Completed (stale)"));
        QVERIFY(row->toolTip(2).contains("Render the reel again"));
        w.onReelActivated(index);
        QCOMPARE(w.playerPanel()->loadedPath(), reel.source_path);
        QVERIFY(w.statusLabelWidget()->text().contains("older than its timeline"));

        // Once rendered after the timeline, the cut is what the player shows.
        QVERIFY(cut.open(QIODevice::ReadWrite));
        QVERIFY(cut.setFileTime(QDateTime::currentDateTime().addSecs(60),
                                QFileDevice::FileModificationTime));
        cut.close();
        w.onReelActivated(index);
        QCOMPARE(w.playerPanel()->loadedPath(), reel.rendered_path);
    }

    void metadataAndUsageStayWithTheWorkspace() {
        const QString root = makeWorkspace("Kept");
        {
            MainWindow w;
            w.openWorkspace(root);
            ModalAnswerer answerer([](QWidget* modal) {
                modal->findChildren<QLineEdit*>().at(0)->setText("  Bench Build 7 ");
                buttonIn(modal, "Apply Metadata")->click();
            });
            w.onOpenMetadata();
            w.currentWorkspace()->usage.prompt_tokens = 2500;
            w.currentWorkspace()->usage.candidate_tokens = 400;
            w.currentWorkspace()->usage.analyses = 2;
            QVERIFY(w.currentWorkspace()->save());
        }
        MainWindow later;
        later.openWorkspace(root);
        QString subject;
        {
            ModalAnswerer metadata([&](QWidget* modal) {
                subject = modal->findChildren<QLineEdit*>().value(0)->text();
                ModalAnswerer::dismiss(modal);
            });
            later.onOpenMetadata();
        }
        QCOMPARE(subject, QString("Bench Build 7"));
        QStringList figures;
        ModalAnswerer usage([&](QWidget* modal) {
            for (QLabel* label : modal->findChildren<QLabel*>())
                figures << label->text();
            ModalAnswerer::dismiss(modal);
        });
        later.onOpenUsage();
        QVERIFY2(figures.contains("2") && figures.contains("2500") && figures.contains("400") &&
                     figures.contains("$0.0006 USD"),
                 qPrintable(figures.join(" | ")));
    }

    void releaseDialogStoresOrderAndExclusions() {
        const QString root = makeWorkspace("Release");
        MainWindow w;
        w.openWorkspace(root);
        QStringList listed;
        ModalAnswerer answerer([&](QWidget* modal) {
            auto* dialog = dynamic_cast<ReleaseDialog*>(modal);
            if (!dialog) {
                ModalAnswerer::dismiss(modal);
                return;
            }
            listed = dialog->order();
            // Moves are undone by the natural order, which keeps the boxes as they were.
            dialog->moveSelected(1);
            QCOMPARE(dialog->order(), (QStringList{"short", LongName}));
            dialog->sortNaturally();
            QCOMPARE(dialog->order(), listed);
            auto* list = dialog->findChild<QListWidget*>();
            list->item(0)->setCheckState(Qt::Unchecked);
            list->setCurrentRow(0);
            dialog->moveSelected(1);
            buttonIn(dialog, "Save Order")->click();
        });
        w.onReleaseOrder();
        QCOMPARE(listed, (QStringList{LongName, "short"}));
        Workspace stored;
        stored.remembersRecent = false;
        QVERIFY(stored.load(root));
        QCOMPARE(stored.release_order, (QStringList{"short", LongName}));
        QCOMPARE(stored.release_excluded, QStringList{LongName});
        QCOMPARE(stored.releaseOrder().size(), 1);
    }
};

QTEST_MAIN(StudioFinishTest)
#include "tst_studiofinish.moc"
