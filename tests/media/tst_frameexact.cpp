#include "FrameIndexClips.h"
#include "MediaTestSupport.h"
#include "media/FFmpegEngine.h"
#include "media/ProbeJob.h"
#include "timeline/StreamFacts.h"
#include "timeline/TimelineData.h"

#include <QTemporaryDir>
#include <QtTest>

using namespace Tessaryn;

namespace {

// Segment bounds are given in source frames (fractions fall between frames) and turned into
// seconds at the clip's rate, so each row reads as the frames it must show.
struct Span {
    double from;
    double to;
    Classification kind;
    double speed;
};

struct Shown {
    int first;
    int end; // exclusive
    int step;
};

using Spans = QList<Span>;
using ShownList = QList<Shown>;

constexpr int ClipFrames = 72;

Span keep(double from, double to) {
    return {from, to, Classification::Milestone, 1.0};
}
Span sped(double from, double to) {
    return {from, to, Classification::RepetitiveAssembly, 10.0};
}
Span pause(double from, double to) {
    return {from, to, Classification::StaticPause, 0.0};
}

TimelineData timelineOf(const Spans& spans, double fps) {
    TimelineData data;
    for (const Span& span : spans) {
        Segment segment;
        segment.source_start = span.from / fps;
        segment.source_end = span.to / fps;
        segment.classification = span.kind;
        segment.speed_factor = span.speed;
        segment.description = QStringLiteral("part");
        data.segments.append(segment);
    }
    return data;
}

// Slots are shown in order; an empty slot of a variable-rate clip holds the frame before it.
QList<int> expectedFrames(const ShownList& shown, bool variable) {
    const QList<int> missing = variable ? FrameIndexClips::missingSlots() : QList<int>();
    QList<int> frames;
    for (const Shown& part : shown) {
        for (int slot = part.first; slot < part.end; slot += part.step)
            frames.append(missing.contains(slot) ? slot - 1 : slot);
    }
    return frames;
}

} // namespace

Q_DECLARE_METATYPE(Spans)
Q_DECLARE_METATYPE(ShownList)

class FrameExactTest : public QObject {
    Q_OBJECT

private:
    QTemporaryDir dir;

    static std::optional<StreamFacts> probe(const QString& path) {
        ProbeJob job(path);
        bool done = false;
        bool ok = false;
        job.probedCallback = [&](bool success, double, const QString&) {
            done = true;
            ok = success;
        };
        job.start();
        if (!QTest::qWaitFor([&] { return done; }, 30000) || !ok)
            return std::nullopt;
        return job.streamFacts();
    }

    static bool render(const QString& source, const TimelineData& data, const StreamFacts& facts,
                       const QString& out, QString* error) {
        FFmpegEngine engine;
        bool done = false;
        bool ok = false;
        engine.finishedCallback = [&](bool success, const QString&, const QString& text) {
            done = true;
            ok = success;
            *error = text;
        };
        RenderOptions options;
        options.sound = false;
        if (!engine.renderEditedVideo(source, data, facts, options, out))
            return false;
        return QTest::qWaitFor([&] { return done; }, 60000) && ok;
    }

private slots:
    void initTestCase() { QVERIFY(dir.isValid()); }

    void framesFollowThePlan_data() {
        QTest::addColumn<QString>("rate");
        QTest::addColumn<bool>("variable");
        QTest::addColumn<Spans>("spans");
        QTest::addColumn<ShownList>("shown");

        const Spans whole{keep(0, ClipFrames)};
        const ShownList wholeShown{{0, ClipFrames, 1}};
        // A leading pause, bounds between frames, a one-frame part, two sped parts side by side.
        const Spans mixed{pause(0, 10.4),   keep(10.4, 20.3), keep(20.3, 21.2),
                          sped(21.2, 45.0), sped(45.0, 66.6), keep(66.6, ClipFrames)};
        const ShownList mixedShown{
            {10, 20, 1}, {20, 21, 1}, {21, 45, 10}, {45, 67, 10}, {67, ClipFrames, 1}};
        // A part shorter than a frame shows the frame it begins on; the next one goes on after.
        const Spans sliver{keep(0, 5.1), keep(5.1, 5.3), keep(5.3, 9), sped(9, 40)};
        const ShownList sliverShown{{0, 5, 1}, {5, 6, 1}, {6, 9, 1}, {9, 40, 10}};

        const QList<QPair<QString, bool>> clips{{"24", false},
                                                {"25", false},
                                                {"30000/1001", false},
                                                {"60000/1001", false},
                                                {"30", true}};
        for (const auto& clip : clips) {
            const QString name = clip.first + (clip.second ? " variable" : "");
            QTest::addRow("%s whole", qPrintable(name))
                << clip.first << clip.second << whole << wholeShown;
            QTest::addRow("%s mixed", qPrintable(name))
                << clip.first << clip.second << mixed << mixedShown;
            QTest::addRow("%s sliver", qPrintable(name))
                << clip.first << clip.second << sliver << sliverShown;
        }
    }

    void framesFollowThePlan() {
        QFETCH(QString, rate);
        QFETCH(bool, variable);
        QFETCH(Spans, spans);
        QFETCH(ShownList, shown);

        const QString stem = QString(rate).replace('/', '_') + (variable ? "v" : "c");
        const QString source = dir.filePath(stem + ".mp4");
        if (!QFileInfo::exists(source))
            QVERIFY(FrameIndexClips::generate(source, rate, ClipFrames, variable));
        const qsizetype missing = variable ? FrameIndexClips::missingSlots().size() : 0;
        QCOMPARE(FrameIndexClips::readIndices(source).size(), ClipFrames - missing);

        const std::optional<StreamFacts> facts = probe(source);
        QVERIFY(facts && facts->known());
        QCOMPARE(facts->variableRate, variable);

        const QString out =
            dir.filePath(stem + QString(QTest::currentDataTag()).replace('/', '_') + ".mp4");
        QString error;
        QVERIFY2(render(source, timelineOf(spans, facts->fps()), *facts, out, &error),
                 qPrintable(error));
        QCOMPARE(FrameIndexClips::readIndices(out), expectedFrames(shown, variable));
    }
};

QTEST_GUILESS_MAIN(FrameExactTest)
#include "tst_frameexact.moc"
