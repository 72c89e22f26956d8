#include "ui/CopilotWidget.h"

#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QTextBlock>
#include <QTextBrowser>
#include <QTextCursor>
#include <QTextDocument>
#include <QtTest>

using namespace Tessaryn;

namespace {

struct Panel {
    CopilotWidget widget;
    QTextBrowser* log = widget.findChild<QTextBrowser*>();
    QLineEdit* input = widget.findChild<QLineEdit*>();

    QPushButton* button(const QString& text) const {
        for (QPushButton* b : widget.findChildren<QPushButton*>())
            if (b->text() == text)
                return b;
        return nullptr;
    }
    QString text() const { return log->document()->toPlainText(); }
    // The format of the last character of the last occurrence of needle.
    QTextCharFormat formatAt(const QString& needle) const {
        QTextDocument* doc = log->document();
        const QTextCursor found =
            doc->find(needle, doc->characterCount(), QTextDocument::FindBackward);
        return found.isNull() ? QTextCharFormat() : found.charFormat();
    }
    bool has(const QString& needle) const { return text().contains(needle); }
};

bool isBold(const QTextCharFormat& format) {
    return format.fontWeight() >= QFont::Bold;
}

} // namespace

class CopilotWidgetTest : public QObject {
    Q_OBJECT

private slots:
    void greetsOnStart() {
        Panel panel;
        QVERIFY(
            panel.has("— Tessaryn initialized. Connected to Gemini AI video editing engine. —"));
        QVERIFY(panel.has("Welcome to Tessaryn (Tessaryn). I am standing by to analyze your raw "
                          "video footage, detect key scene milestones, speed-ramp repetitive "
                          "segments, excise idle pauses, and generate timeline markers & "
                          "subtitles."));
        QVERIFY(isBold(panel.formatAt("Welcome to Tessaryn")));
        QVERIFY(!isBold(panel.formatAt("Welcome to")));
        QCOMPARE(panel.input->placeholderText(),
                 QString("Ask AI video copilot or give editing prompt..."));
    }

    void messageFormats_data() {
        QTest::addColumn<bool>("notice");
        QTest::addColumn<QString>("sender");
        QTest::addColumn<QString>("input");
        QTest::addColumn<bool>("fromAssistant");
        QTest::addColumn<QString>("shown");
        QTest::addColumn<QString>("boldWord"); // empty: nothing in the body is bold
        QTest::addColumn<QColor>("senderColour");
        QTest::newRow("assistant html")
            << false << "Copilot"
            << "Done <b>reel 1</b> at 100%1 %2" << true << "Done reel 1 at 100%1 %2"
            << "reel 1" << QColor("#D4AF37");
        QTest::newRow("user colour") << false << "Editor"
                                     << "plain words" << false << "plain words"
                                     << "" << QColor("#64B5F6");
        QTest::newRow("notice is literal") << true << ""
                                           << "Opened workspace: <b>x</b> & <img src=y>" << false
                                           << "— Opened workspace: <b>x</b> & <img src=y> —"
                                           << "" << QColor();
    }
    void messageFormats() {
        QFETCH(bool, notice);
        QFETCH(QString, sender);
        QFETCH(QString, input);
        QFETCH(bool, fromAssistant);
        QFETCH(QString, shown);
        QFETCH(QString, boldWord);
        QFETCH(QColor, senderColour);
        Panel panel;
        const int blocksBefore = panel.log->document()->blockCount();
        if (notice)
            panel.widget.addSystemNotice(input);
        else
            panel.widget.addMessage(sender, input, fromAssistant);

        QVERIFY(panel.log->document()->blockCount() > blocksBefore);
        QVERIFY2(panel.text().endsWith(shown), qPrintable(panel.text()));
        if (!boldWord.isEmpty())
            QVERIFY(isBold(panel.formatAt(boldWord)));
        QVERIFY(!isBold(panel.formatAt(shown.right(2))));
        if (!notice) {
            const QRegularExpression header(
                QStringLiteral("%1 \\d\\d:\\d\\d\\s+%2$")
                    .arg(QRegularExpression::escape(sender), QRegularExpression::escape(shown)));
            QVERIFY2(header.match(panel.text()).hasMatch(), qPrintable(panel.text()));
            const QTextCharFormat name = panel.formatAt(sender);
            QVERIFY(isBold(name));
            QCOMPARE(name.foreground().color(), senderColour);
        }
    }

    void prompts_data() {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<bool>("viaReturn");
        QTest::addColumn<QString>("echo");
        QTest::addColumn<QString>("reply");
        const QString parameters =
            "Current editing parameters are configured to:\n• Speed-ramp repetitive "
            "segments: 10.0x\n• Excise pauses longer than: 2.0s\nYou can adjust these "
            "values in File > Project Settings & Credentials.";
        QTest::newRow("Speed in any case")
            << "Set Speed to 5" << false << "Set Speed to 5" << parameters;
        QTest::newRow("both words, one reply")
            << "drop PAUSE, keep speed" << true << "drop PAUSE, keep speed" << parameters;
        const QString unsupported =
            "I can run these requests: analyze or render a reel by name (or all), status of a "
            "reel, export markers, export subtitles and stitch; and I answer about pause and "
            "speed settings. Other requests are not supported yet.";
        QTest::newRow("other text echoed trimmed")
            << "  Cut the Intro  " << true << "Cut the Intro" << unsupported;
        QTest::newRow("own markup rendered")
            << "make it <b>bold</b>" << false << "make it bold" << unsupported;
    }
    void prompts() {
        QFETCH(QString, typed);
        QFETCH(bool, viaReturn);
        QFETCH(QString, echo);
        QFETCH(QString, reply);
        Panel panel;
        panel.input->setText(typed);
        if (viaReturn)
            QTest::keyClick(panel.input, Qt::Key_Return);
        else
            QTest::mouseClick(panel.button("Send"), Qt::LeftButton);

        QCOMPARE(panel.input->text(), QString());
        const QString text = panel.text();
        const int echoAt = text.lastIndexOf("Editor ");
        QVERIFY(echoAt > 0);
        const QString tail = text.mid(echoAt);
        QVERIFY2(tail.contains(echo) && tail.endsWith(reply), qPrintable(tail));
        QCOMPARE(tail.count("Copilot "), 1);
        if (typed.contains("<b>"))
            QVERIFY(isBold(panel.formatAt("make it bold")));
    }

    // What the prompt understands runs; nothing else pretends to.
    void requestsRunTheirAction_data() {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("ran");
        QTest::newRow("analyse all") << "Analyse ALL"
                                     << "batch analyze";
        QTest::newRow("render all") << "render all"
                                    << "batch render";
        QTest::newRow("one reel by name") << "render  Day 4 take 2"
                                          << "render:Day 4 take 2";
        QTest::newRow("status") << "status b_clip"
                                << "status:b_clip";
        QTest::newRow("markers") << "export markers please"
                                 << "markers";
        QTest::newRow("subtitles") << "Export subtitles"
                                   << "subtitles";
        QTest::newRow("stitch") << "stitch"
                                << "stitch";
        QTest::newRow("verb without a reel") << "render"
                                             << "";
        QTest::newRow("unknown verb") << "delete all"
                                      << "";
    }
    void requestsRunTheirAction() {
        QFETCH(QString, typed);
        QFETCH(QString, ran);
        Panel panel;
        QStringList calls;
        panel.widget.batchAnalyzeCallback = [&] { calls << "batch analyze"; };
        panel.widget.batchRenderCallback = [&] { calls << "batch render"; };
        panel.widget.exportMarkersCallback = [&] { calls << "markers"; };
        panel.widget.exportSubtitlesCallback = [&] { calls << "subtitles"; };
        panel.widget.stitchCallback = [&] { calls << "stitch"; };
        panel.widget.reelRequestCallback = [&](const QString& verb, const QString& reel) {
            calls << verb + ":" + reel;
        };
        panel.input->setText(typed);
        QTest::keyClick(panel.input, Qt::Key_Return);
        QCOMPARE(calls, ran.isEmpty() ? QStringList() : QStringList{ran});
        QCOMPARE(panel.text().endsWith("Other requests are not supported yet."), ran.isEmpty());
    }

    void messagesAfterANoticeReadFromTheLeft() {
        Panel p;
        p.widget.addSystemNotice("Opened workspace: Demo");
        p.widget.addMessage("Copilot", "Workspace <b>Demo</b> loaded.", true);
        QTextDocument* doc = p.log->document();
        const QTextBlock notice = doc->find("Opened workspace: Demo").block();
        QCOMPARE(notice.blockFormat().alignment() & Qt::AlignHorizontal_Mask, Qt::AlignHCenter);
        for (const QString& needle : {QString("Copilot"), QString("Workspace Demo loaded.")}) {
            const QTextBlock block =
                doc->find(needle, doc->characterCount(), QTextDocument::FindBackward).block();
            QVERIFY2(!(block.blockFormat().alignment() & Qt::AlignHCenter), qPrintable(needle));
        }
    }

    void parametersReplyQuotesTheCurrentValues() {
        Panel p;
        p.widget.setEditParameters(4.0, 3.5);
        p.input->setText("what speed?");
        p.widget.onSendClicked();
        QVERIFY(p.has("Speed-ramp repetitive segments: 4.0x"));
        QVERIFY(p.has("Excise pauses longer than: 3.5s"));
    }

    void blankPromptIsIgnored() {
        Panel panel;
        const QString before = panel.text();
        panel.input->setText("   ");
        QTest::keyClick(panel.input, Qt::Key_Return);
        QCOMPARE(panel.text(), before);
        QCOMPARE(panel.input->text(), QString("   "));
    }

    void chips_data() {
        QTest::addColumn<QString>("chip");
        QTest::addColumn<QString>("echo");
        QTest::addColumn<QStringList>("fired");
        QTest::newRow("analyze") << "⚡ Analyze All"
                                 << "Analyze all pending footage" << QStringList{"analyze"};
        QTest::newRow("render") << "🎬 Render All"
                                << "Render all analyzed clips" << QStringList{"render"};
        QTest::newRow("export") << "🏷 Export Markers"
                                << "Export DaVinci Resolve markers and SRT subtitles"
                                << QStringList{"markers", "subtitles"};
        QTest::newRow("stitch") << "🏆 Release Film"
                                << "Assemble and stitch master release film"
                                << QStringList{"stitch"};
    }
    void chips() {
        QFETCH(QString, chip);
        QFETCH(QString, echo);
        QFETCH(QStringList, fired);
        Panel panel;
        QPushButton* button = panel.button(chip);
        QVERIFY(button);

        // Unset callbacks are skipped; the request is still echoed.
        QTest::mouseClick(button, Qt::LeftButton);
        QVERIFY(panel.text().endsWith(echo));

        QStringList calls;
        panel.widget.batchAnalyzeCallback = [&calls] { calls << "analyze"; };
        panel.widget.batchRenderCallback = [&calls] { calls << "render"; };
        panel.widget.exportMarkersCallback = [&calls] { calls << "markers"; };
        panel.widget.exportSubtitlesCallback = [&calls] { calls << "subtitles"; };
        panel.widget.stitchCallback = [&calls] { calls << "stitch"; };
        QTest::mouseClick(button, Qt::LeftButton);
        QCOMPARE(calls, fired);
        QCOMPARE(panel.text().count(echo), 2);
        QCOMPARE(panel.formatAt(echo).foreground().color(), QColor("#E2E2E2"));
        QCOMPARE(panel.formatAt("Editor").foreground().color(), QColor("#64B5F6"));
    }
};

QTEST_MAIN(CopilotWidgetTest)
#include "tst_copilotwidget.moc"
