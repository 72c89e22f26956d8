#include "app/Config.h"
#include "ui/ReelWidget.h"
#include "workspace/Workspace.h"

#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTreeWidget>
#include <QtTest>

#include <memory>

using namespace Tessaryn;

namespace {

Reel reel(const QString& name, int status = 0, double duration = 0.0, double edited = 0.0) {
    Reel r;
    r.name = name;
    r.status = ReelStatus(status);
    r.duration = duration;
    r.timeline.total_edited_duration = edited;
    return r;
}

struct Panel {
    ReelWidget widget;
    QTreeWidget* tree = widget.findChild<QTreeWidget*>();

    QPushButton* button(const QString& word) const {
        for (QPushButton* b : widget.findChildren<QPushButton*>())
            if (b->text().endsWith(word))
                return b;
        return nullptr;
    }
    QString count() const {
        for (QLabel* label : widget.findChildren<QLabel*>())
            if (label->text().endsWith(QLatin1String(" reels")))
                return label->text();
        return QString();
    }
};

} // namespace

class ReelWidgetTest : public QObject {
    Q_OBJECT

private slots:
    void rowContents_data() {
        QTest::addColumn<int>("status");
        QTest::addColumn<double>("duration");
        QTest::addColumn<double>("edited");
        QTest::addColumn<QString>("statusText");
        QTest::addColumn<QColor>("colour");
        QTest::addColumn<QString>("source");
        QTest::addColumn<QString>("cut");
        const QColor blue(0x34, 0x98, 0xDB);
        const QColor muted = Config::COLOR_TEXT_MUTED;
        QTest::newRow("pending, not probed") << 0 << 0.0 << 0.0 << "Pending" << muted << "--:--"
                                             << "--:--";
        QTest::newRow("analyzing") << 1 << 65.4 << 0.0 << "Analyzing (Gemini)" << blue << "00:01:05"
                                   << "--:--";
        QTest::newRow("analyzed") << 2 << 3725.0 << 125.9 << "Analyzed" << Config::COLOR_GOLD
                                  << "01:02:05"
                                  << "00:02:05";
        QTest::newRow("rendering") << 3 << 10.0 << 4.0 << "Rendering (FFmpeg)" << blue << "00:00:10"
                                   << "00:00:04";
        QTest::newRow("completed")
            << 4 << 10.0 << 4.0 << "Completed" << Config::COLOR_ACCENT_GREEN << "00:00:10"
            << "00:00:04";
        QTest::newRow("error, negative times")
            << 5 << -3.0 << -1.0 << "Error" << Config::COLOR_PAUSE_RED << "--:--"
            << "--:--";
        QTest::newRow("unknown value") << 9 << 1.0 << 0.0 << "Unknown" << muted << "00:00:01"
                                       << "--:--";
    }
    void rowContents() {
        QFETCH(int, status);
        QFETCH(double, duration);
        QFETCH(double, edited);
        QFETCH(QString, statusText);
        QFETCH(QColor, colour);
        QFETCH(QString, source);
        QFETCH(QString, cut);
        Workspace workspace;
        workspace.reels = {reel("first"), reel("<b>second</b>", status, duration, edited)};
        Panel panel;
        panel.widget.setWorkspace(&workspace);

        QCOMPARE(panel.tree->topLevelItemCount(), 2);
        const QTreeWidgetItem* row = panel.tree->topLevelItem(1);
        QCOMPARE(row->data(0, Qt::UserRole).toInt(), 1);
        const QStringList texts{"2", "<b>second</b>", statusText, source, cut};
        for (int column = 0; column < 5; ++column)
            QCOMPARE(row->text(column), texts.at(column));
        QCOMPARE(row->foreground(2).color(), colour);
        QCOMPARE(row->textAlignment(0), int(Qt::AlignCenter));
        QCOMPARE(row->textAlignment(3), int(Qt::AlignRight | Qt::AlignVCenter));
        QCOMPARE(row->textAlignment(4), int(Qt::AlignRight | Qt::AlignVCenter));
    }

    void countLabel_data() {
        QTest::addColumn<int>("reels");
        QTest::addColumn<bool>("attached");
        QTest::addColumn<QString>("text");
        QTest::newRow("no workspace") << 3 << false << "0 reels";
        QTest::newRow("empty") << 0 << true << "0 reels";
        QTest::newRow("one, no singular") << 1 << true << "1 reels";
        QTest::newRow("three") << 3 << true << "3 reels";
    }
    void countLabel() {
        QFETCH(int, reels);
        QFETCH(bool, attached);
        QFETCH(QString, text);
        Workspace workspace;
        for (int i = 0; i < reels; ++i)
            workspace.reels << reel(QString::number(i));
        Panel panel;
        if (attached)
            panel.widget.setWorkspace(&workspace);
        panel.widget.refresh();
        QCOMPARE(panel.count(), text);
        QCOMPARE(panel.tree->topLevelItemCount(), attached ? reels : 0);
    }

    void selectionDrivesButtons() {
        Workspace workspace;
        workspace.reels = {reel("a"), reel("b"), reel("c")};
        Panel panel;
        panel.widget.setWorkspace(&workspace);
        QStringList calls;
        panel.widget.analyzeRequestedCallback = [&calls](int i) { calls << QString("a%1").arg(i); };
        panel.widget.renderRequestedCallback = [&calls](int i) { calls << QString("r%1").arg(i); };
        panel.widget.rescanRequestedCallback = [&calls] { calls << "scan"; };
        QPushButton* analyze = panel.button("Analyze");
        QPushButton* render = panel.button("Render");
        QCOMPARE(analyze->objectName(), QString("goldButton"));
        QVERIFY(!analyze->isEnabled() && !render->isEnabled());
        QVERIFY(panel.button("Rescan")->isEnabled());
        QCOMPARE(panel.widget.selectedReelIndex(), -1);

        panel.tree->topLevelItem(2)->setSelected(true);
        QCOMPARE(panel.widget.selectedReelIndex(), 2);
        QVERIFY(analyze->isEnabled() && render->isEnabled());
        for (QPushButton* button : {analyze, render, panel.button("Rescan")})
            QTest::mouseClick(button, Qt::LeftButton);
        QCOMPARE(calls, (QStringList{"a2", "r2", "scan"}));

        // A reported change redraws the table; the reel the user picked stays picked.
        workspace.updateReelStatus(2, ReelStatus::Completed);
        QCOMPARE(panel.tree->topLevelItem(2)->text(2), QString("Completed"));
        QCOMPARE(panel.widget.selectedReelIndex(), 2);
        QVERIFY(analyze->isEnabled() && render->isEnabled());
        panel.tree->clearSelection();
        QVERIFY(!analyze->isEnabled() && !render->isEnabled());
        workspace.reels << reel("d");
        workspace.onReelsChanged();
        QCOMPARE(panel.count(), QString("4 reels"));
    }

    void doubleClickActivates_data() {
        QTest::addColumn<int>("row");
        QTest::addColumn<int>("column");
        for (int column = 0; column < 5; ++column)
            QTest::addRow("row 1, column %d", column) << 1 << column;
        QTest::newRow("row 0") << 0 << 2;
    }
    void doubleClickActivates() {
        QFETCH(int, row);
        QFETCH(int, column);
        Workspace workspace;
        workspace.reels = {reel("a", 0, 5), reel("b", 2, 9)};
        Panel panel;
        panel.widget.resize(700, 300);
        panel.widget.setWorkspace(&workspace);
        panel.widget.show();
        QVERIFY(QTest::qWaitForWindowExposed(&panel.widget));
        QList<int> activated;
        panel.widget.reelActivatedCallback = [&activated](int i) { activated << i; };

        const QPoint at(panel.tree->header()->sectionViewportPosition(column) +
                            panel.tree->columnWidth(column) / 2,
                        panel.tree->visualItemRect(panel.tree->topLevelItem(row)).center().y());
        QTest::mouseClick(panel.tree->viewport(), Qt::LeftButton, {}, at);
        QCOMPARE(activated, QList<int>{}); // a single click only selects
        QTest::mouseDClick(panel.tree->viewport(), Qt::LeftButton, {}, at);
        QCOMPARE(activated, QList<int>{row});
        // Return on the selected row does what the double click does.
        QTest::keyClick(panel.tree, Qt::Key_Return);
        QCOMPARE(activated, (QList<int>{row, row}));
    }

    void outlivingEitherSideIsSafe() {
        auto workspace = std::make_unique<Workspace>();
        workspace->reels = {reel("a")};
        auto panel = std::make_unique<Panel>();
        panel->widget.setWorkspace(workspace.get());
        panel.reset();
        workspace->updateReelStatus(0, ReelStatus::Error); // must not reach the dead panel

        panel = std::make_unique<Panel>();
        panel->widget.setWorkspace(workspace.get());
        QCOMPARE(panel->tree->topLevelItemCount(), 1);
        workspace.reset();
        panel->widget.refresh();
        QCOMPARE(panel->tree->topLevelItemCount(), 0);
        QCOMPARE(panel->count(), QString("0 reels"));
    }
};

QTEST_MAIN(ReelWidgetTest)
#include "tst_reelwidget.moc"
