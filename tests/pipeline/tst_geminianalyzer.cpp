// The Gemini analyzer against a loopback stand-in and a real clip: the edit settings and the
// checks against the clip's probed length decide the timeline the pipeline receives.
#include "TestSupport.h"
#include "ai/GeminiStandIn.h"
#include "media/MediaTestSupport.h"
#include "pipeline/GeminiAnalyzer.h"
#include "timeline/TimelineCheck.h"
#include "timeline/TimelineData.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <QtTest>

using namespace Tessaryn;

namespace {

QByteArray compact(const QJsonObject& o) {
    return QJsonDocument(o).toJson(QJsonDocument::Compact);
}

QList<CannedAnswer> answersFor(const QJsonArray& segments) {
    const QString text = QString::fromUtf8(compact({{"summary", "S"}, {"segments", segments}}));
    const QJsonObject content{{"parts", QJsonArray{QJsonObject{{"text", text}}}}};
    const QJsonObject file{{"name", "files/c"}, {"uri", "https://f/c"}, {"state", "ACTIVE"}};
    return GeminiStandIn::analysis(
        compact({{"file", file}}),
        compact({{"candidates", QJsonArray{QJsonObject{{"content", content}}}}}));
}

QJsonObject segment(double start, double end, const char* kind, const char* text = "step") {
    return {{"source_start", start},
            {"source_end", end},
            {"classification", kind},
            {"description", text}};
}

struct Result {
    int reports = 0;
    bool success = false;
    TimelineData timeline;
    QString error;
};

} // namespace

class GeminiAnalyzerTest : public QObject {
    Q_OBJECT

    QTemporaryDir dir;
    QString clip; // 30 s

    Result analyse(const QJsonArray& segments, const PipelineSettings& settings) {
        GeminiStandIn server;
        if (!server.start())
            return {};
        server.answers = answersFor(segments);
        qputenv("TESSARYN_GEMINI_BASE_URL", server.baseUrl().toUtf8());
        GeminiAnalyzer analyzer(settings, [] { return QStringLiteral("key"); });
        Result result;
        analyzer.finishedCallback = [&](bool ok, const TimelineData& data, const QString& error) {
            ++result.reports;
            result.success = ok;
            result.timeline = data;
            result.error = error;
        };
        analyzer.start(clip);
        waitUntil([&] { return result.reports > 0; }, 30000);
        return result;
    }

private slots:
    void initTestCase() {
        QVERIFY(dir.isValid());
        clip = dir.filePath("clip.mp4");
        QVERIFY(MediaTestSupport::generateClip(clip, 64, 48, 5, 30.0));
    }

    // A 5 s milestone, 20 s of assembly and an unclassified 3 s "pause" that only a threshold
    // of at most 3 s cuts out.
    void settingsReachTheTimeline_data() {
        QTest::addColumn<double>("speed");
        QTest::addColumn<double>("threshold");
        QTest::addColumn<double>("edited");
        QTest::newRow("defaults") << 10.0 << 2.0 << 7.0;
        QTest::newRow("saved values") << 4.0 << 5.0 << 13.0;
        QTest::newRow("threshold at the pause") << 20.0 << 3.0 << 6.0;
        QTest::newRow("unusable speed falls back") << 0.0 << 2.0 << 7.0;
    }

    void settingsReachTheTimeline() {
        QFETCH(double, speed);
        QFETCH(double, threshold);
        QFETCH(double, edited);
        PipelineSettings settings;
        settings.assembly_speed = speed;
        settings.minimum_pause = threshold;
        const Result result =
            analyse({segment(0, 5, "milestone"), segment(5, 25, "repetitive_assembly"),
                     segment(25, 28, "", "Long pause")},
                    settings);
        QCOMPARE(result.reports, 1);
        QVERIFY2(result.success, qPrintable(result.error));
        QCOMPARE(result.timeline.total_edited_duration, edited);
    }

    // What has one reading is repaired; what has none is refused, never rendered.
    void answersAreCheckedAgainstTheClip_data() {
        QTest::addColumn<QJsonArray>("segments");
        QTest::addColumn<QString>("refusal"); // empty: accepted
        QTest::addColumn<double>("sourceEnd");
        QTest::newRow("unsorted, sorted")
            << QJsonArray{segment(10, 20, "milestone"), segment(0, 10, "milestone")} << "" << 20.0;
        QTest::newRow("end past the clip, clamped")
            << QJsonArray{segment(0, 10, "milestone"), segment(10, 31.5, "milestone")} << ""
            << 30.0;
        QTest::newRow("rounding overlap, clamped")
            << QJsonArray{segment(0, 10.03, "milestone"), segment(10, 12, "milestone")} << ""
            << 12.0;
        QTest::newRow("real overlap")
            << QJsonArray{segment(0, 12, "milestone"), segment(10, 14, "milestone")}
            << "Segments 1 and 2 overlap" << 0.0;
        QTest::newRow("start past the clip")
            << QJsonArray{segment(0, 10, "milestone"), segment(45, 50, "milestone")}
            << "Segment 2 starts at 45.00 s, after the clip ends" << 0.0;
    }

    void answersAreCheckedAgainstTheClip() {
        QFETCH(QJsonArray, segments);
        QFETCH(QString, refusal);
        QFETCH(double, sourceEnd);
        const Result result = analyse(segments, PipelineSettings());
        QCOMPARE(result.reports, 1);
        QCOMPARE(result.success, refusal.isEmpty());
        if (!result.success) {
            QVERIFY2(result.error.contains(refusal), qPrintable(result.error));
            QVERIFY(result.timeline.segments.isEmpty());
            return;
        }
        QCOMPARE(result.timeline.total_source_duration, sourceEnd);
        for (qsizetype i = 1; i < result.timeline.segments.size(); ++i)
            QVERIFY(result.timeline.segments[i].source_start >=
                    result.timeline.segments[i - 1].source_end);
    }

    void cancelWhileProbingReportsOnce() {
        GeminiAnalyzer analyzer(PipelineSettings(), [] { return QStringLiteral("key"); });
        int reports = 0;
        QString error;
        analyzer.finishedCallback = [&](bool, const TimelineData&, const QString& text) {
            ++reports;
            error = text;
        };
        analyzer.start(clip);
        QVERIFY(analyzer.isBusy());
        analyzer.cancel();
        QTest::qWait(300);
        QCOMPARE(reports, 1);
        QCOMPARE(error, QStringLiteral("Analysis cancelled."));
        QVERIFY(!analyzer.isBusy());
    }
};

QTEST_GUILESS_MAIN(GeminiAnalyzerTest)
#include "tst_geminianalyzer.moc"
