// The usage dashboard's figures and cost, and the metadata dialog's fields and read-back.
#include "ui/MetadataDialog.h"
#include "ui/UsageDialog.h"

#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QTextEdit>
#include <QtTest>

using namespace Tessaryn;

namespace {

QPushButton* button(const QDialog& dialog, const QString& text) {
    for (QPushButton* b : dialog.findChildren<QPushButton*>())
        if (b->text() == text)
            return b;
    return nullptr;
}

// The edit of a form row, by the row's label.
QLineEdit* field(const QDialog& dialog, const QString& label) {
    for (QLabel* l : dialog.findChildren<QLabel*>())
        if (l->text() == label)
            return qobject_cast<QLineEdit*>(l->buddy());
    return nullptr;
}

} // namespace

class InfoDialogsTest : public QObject {
    Q_OBJECT

private slots:
    void usageFigures_data() {
        QTest::addColumn<qint64>("prompt");
        QTest::addColumn<qint64>("candidates");
        QTest::addColumn<int>("invocations");
        QTest::addColumn<QStringList>("values");
        QTest::newRow("nothing yet")
            << qint64(0) << qint64(0) << 0 << QStringList{"0", "0", "0", "0", "$0.0000 USD"};
        QTest::newRow("a million each")
            << qint64(1000000) << qint64(1000000) << 3
            << QStringList{"3", "1000000", "1000000", "2000000", "$0.7500 USD"};
        QTest::newRow("rounded to four decimals")
            << qint64(2500) << qint64(400) << 1
            << QStringList{"1", "2500", "400", "2900", "$0.0006 USD"};
        QTest::newRow("beyond 32 bits")
            << qint64(5000000000) << qint64(0) << 7
            << QStringList{"7", "5000000000", "0", "5000000000", "$750.0000 USD"};
    }

    void usageFigures() {
        QFETCH(qint64, prompt);
        QFETCH(qint64, candidates);
        QFETCH(int, invocations);
        QFETCH(QStringList, values);
        UsageDialog dialog(prompt, candidates, invocations);
        QCOMPARE(dialog.windowTitle(), QString("Tessaryn — AI Telemetry & Cost Dashboard"));
        auto* group = dialog.findChild<QGroupBox*>();
        QCOMPARE(group->title(), QString("GEMINI 3.8 FLASH TOKEN TELEMETRY"));
        QStringList labels;
        QStringList shown;
        QStringList colours;
        for (QLabel* label : group->findChildren<QLabel*>()) {
            if (label->styleSheet().isEmpty()) {
                labels << label->text();
            } else {
                shown << label->text();
                colours << label->styleSheet().section("color: ", 1).section(';', 0, 0);
            }
        }
        QCOMPARE(labels, QStringList({"Total API Invocations:", "Prompt Tokens (Input):",
                                      "Candidate Tokens (Output):", "Total Tokens Consumed:",
                                      "Estimated Total Cost:"}));
        QCOMPARE(shown, values);
        QCOMPARE(colours, QStringList({"#FFFFFF", "#64B5F6", "#81C784", "#D4AF37", "#2ECC71"}));
        button(dialog, "Close")->click();
        QCOMPARE(dialog.result(), int(QDialog::Accepted));
    }

    void metadataDefaults() {
        MetadataDialog dialog;
        QCOMPARE(dialog.windowTitle(), QString("Tessaryn — Project & Creator Metadata"));
        auto* tabs = dialog.findChild<QTabWidget*>();
        QCOMPARE(tabs->count(), 3);
        QCOMPARE(tabs->tabText(0), QString("Subject Details"));
        QCOMPARE(tabs->tabText(1), QString("Creator Profile"));
        QCOMPARE(tabs->tabText(2), QString("Production Stage"));
        const QList<QPair<QString, QString>> rows{
            {"Project Subject / Title:", "Project Episode 01"},
            {"Category / Genre:", "Technical Build & Demonstration"},
            {"Keywords / Tags:", "AI Cut, Tutorial, Showcase"},
            {"Creator / Editor Name:", "Tolvane"},
            {"Studio / Channel Name:", "Kadmir Media Studio"}};
        for (const auto& [label, text] : rows) {
            QLineEdit* edit = field(dialog, label);
            QVERIFY2(edit, qPrintable(label));
            QCOMPARE(edit->text(), text);
        }
        auto* stages = dialog.findChild<QComboBox*>();
        QCOMPARE(stages->count(), 6);
        QCOMPARE(stages->itemText(5), QString("5. Final Master Film Stitch"));
        QCOMPARE(dialog.stage(), QString("Full Production Release"));
        auto* notes = dialog.findChild<QTextEdit*>();
        QVERIFY(notes->toPlainText().isEmpty());
        QCOMPARE(notes->placeholderText(),
                 QString("Production notes, AI editing prompts, or release instructions..."));
        QCOMPARE(QStringList({dialog.subjectTitle(), dialog.category(), dialog.creator()}),
                 QStringList({"Project Episode 01", "Technical Build & Demonstration", "Tolvane"}));
        QVERIFY(button(dialog, "Apply Metadata")->isDefault());
    }

    void metadataReadsBackTrimmed_data() {
        QTest::addColumn<QString>("button");
        QTest::addColumn<int>("result");
        QTest::newRow("applied") << "Apply Metadata" << int(QDialog::Accepted);
        QTest::newRow("cancelled") << "Cancel" << int(QDialog::Rejected);
    }

    void metadataReadsBackTrimmed() {
        QFETCH(QString, button);
        QFETCH(int, result);
        {
            MetadataDialog dialog;
            field(dialog, "Project Subject / Title:")->setText("  Bench Build  ");
            field(dialog, "Category / Genre:")->setText("\tTutorial ");
            field(dialog, "Creator / Editor Name:")->setText(" Ana ");
            dialog.findChild<QComboBox*>()->setCurrentIndex(3);
            ::button(dialog, button)->click();
            QCOMPARE(dialog.result(), result);
            QCOMPARE(dialog.subjectTitle(), QString("Bench Build"));
            QCOMPARE(dialog.category(), QString("Tutorial"));
            QCOMPARE(dialog.creator(), QString("Ana"));
            QCOMPARE(dialog.stage(), QString("3. Speed-Ramping & Rough Assembly"));
        }
        MetadataDialog reopened; // nothing is kept between openings
        QCOMPARE(reopened.subjectTitle(), QString("Project Episode 01"));
        QCOMPARE(reopened.stage(), QString("Full Production Release"));
    }
};

QTEST_MAIN(InfoDialogsTest)
#include "tst_infodialogs.moc"
