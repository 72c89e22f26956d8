#include "FrameIndexClips.h"
#include "MediaTestSupport.h"
#include "media/FFmpegEngine.h"
#include "timeline/MltExport.h"
#include "timeline/RenderPlan.h"
#include "timeline/TimelineData.h"

#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

using namespace Tessaryn;

namespace {

// A part of the timeline in source frames at a speed; speed 0 marks a pause.
struct Part {
    double from;
    double to;
    double speed;
};
using Parts = QList<Part>;

constexpr int ClipFrames = 72;

TimelineData timelineOf(const Parts& parts, double fps) {
    TimelineData data;
    for (const Part& part : parts) {
        Segment segment;
        segment.source_start = part.from / fps;
        segment.source_end = part.to / fps;
        segment.speed_factor = part.speed > 0 ? part.speed : 1.0;
        segment.classification = part.speed == 0  ? Classification::StaticPause
                                 : part.speed > 1 ? Classification::RepetitiveAssembly
                                                  : Classification::Milestone;
        segment.description = QStringLiteral("part");
        data.segments.append(segment);
    }
    return data;
}

// The clip's name carries what each format must escape.
QString awkwardName(const QString& rate) {
    return QStringLiteral("clip %1 a&b 'q' \"d\" \u00e9t\u00e9.mp4")
        .arg(QString(rate).replace('/', '_'));
}

} // namespace

Q_DECLARE_METATYPE(Parts)

// melt, an independent MLT player, renders the exported playlist; its frames are compared
// with Tessaryn's own cut of the same timeline.
class MltRenderTest : public QObject {
    Q_OBJECT

private:
    QTemporaryDir dir;

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

    static bool renderWithMelt(const QString& mlt, const QString& out) {
        // ffv1 keeps the index blocks exact; real_time=-1 makes melt drop no frame. melt reads
        // its keyboard controls from standard input, so it gets none. A melt that hangs (seen
        // in about one run of twenty: its render done, its main loop asleep) is melt's fault, not
        // the file's: it gets more tries, each long next to the second or two a render takes.
        for (int attempt = 0; attempt < 4; ++attempt) {
            QProcess melt;
            melt.setStandardInputFile(QProcess::nullDevice());
            melt.start("melt", {"-silent", "-quiet", mlt, "-consumer", "avformat:" + out,
                                "vcodec=ffv1", "an=1", "real_time=-1"});
            if (melt.waitForFinished(20000))
                return melt.exitStatus() == QProcess::NormalExit && melt.exitCode() == 0;
            melt.kill();
            melt.waitForFinished();
            QFile::remove(out);
        }
        return false;
    }

private slots:
    void initTestCase() {
        QVERIFY(dir.isValid());
        QVERIFY2(MediaTestSupport::runTool("melt", {"-version"}), "melt is not installed");
    }

    void meltShowsTheCut_data() {
        QTest::addColumn<QString>("rate");
        QTest::addColumn<Parts>("parts");
        // When sped parts begin on a multiple of their step every frame must match; otherwise
        // melt's timewarp starts on the multiple before, so each frame may lie up to step-1
        // source frames earlier than Tessaryn's, while the count still matches.
        QTest::addColumn<bool>("exact");

        const Parts plain{{0, 10.4, 0}, {10.4, 20.3, 1}, {20.3, 21.2, 1}, {30, 50, 0}, {50, 72, 1}};
        const Parts aligned{{0, 10, 1}, {10, 20, 0}, {20, 45, 10}, {45, 48, 1}, {48, 72, 4}};
        const Parts offGrid{{3, 12, 1}, {12, 41, 10}, {41, 47, 0}, {47, 70, 3}};
        for (const QString rate : {"24", "25", "30000/1001"}) {
            QTest::addRow("%s plain", qPrintable(rate)) << rate << plain << true;
            QTest::addRow("%s sped aligned", qPrintable(rate)) << rate << aligned << true;
            QTest::addRow("%s sped off grid", qPrintable(rate)) << rate << offGrid << false;
        }
    }

    void meltShowsTheCut() {
        QFETCH(QString, rate);
        QFETCH(Parts, parts);
        QFETCH(bool, exact);

        const QString source = dir.filePath(awkwardName(rate));
        if (!QFileInfo::exists(source))
            QVERIFY(FrameIndexClips::generate(source, rate, ClipFrames, false));
        const StreamFacts facts = FFmpegEngine::getStreamFacts(source);
        QVERIFY(facts.known());
        const TimelineData data = timelineOf(parts, facts.fps());

        const QString tag = QString(QTest::currentDataTag()).replace('/', '_').replace(' ', '_');
        QString error;
        const QString ours = dir.filePath(tag + "_ours.mp4");
        QVERIFY2(render(source, data, facts, ours, &error), qPrintable(error));

        MltExport exporter;
        exporter.setStreamFacts(facts);
        exporter.setSourcePath(source);
        const QString mlt = dir.filePath(tag + ".mlt");
        QVERIFY(exporter.write(data, mlt, TimelineAxis::Edited, &error));
        const QString theirs = dir.filePath(tag + "_melt.mkv");
        QVERIFY(renderWithMelt(mlt, theirs));

        const QList<int> expected = FrameIndexClips::readIndices(ours);
        const QList<int> shown = FrameIndexClips::readIndices(theirs);
        QVERIFY(!expected.isEmpty());
        if (exact) {
            QCOMPARE(shown, expected);
            return;
        }
        QCOMPARE(shown.size(), expected.size());
        const RenderPlan plan = RenderPlan::compute(data, facts);
        for (const RenderPlan::Piece& piece : plan.pieces()) {
            for (qint64 at = piece.outputStart; at < piece.outputEnd(); ++at) {
                const int early = expected[at] - shown[at];
                QVERIFY2(early >= 0 && early < piece.step,
                         qPrintable(QStringLiteral("frame %1: %2 for %3")
                                        .arg(at)
                                        .arg(shown[at])
                                        .arg(expected[at])));
            }
        }
    }

    // A whole workspace: two reels' cuts one after another, as the master film joins them. The
    // second reel's cut shows only frames the first clip lacks, so each producer is told apart.
    void meltShowsTheSequence() {
        const Parts cuts[] = {{{0, 10, 1}, {10, 20, 0}, {20, 45, 10}, {45, 72, 1}},
                              {{72, 84, 4}, {84, 102, 0}, {102, 144, 1}}};
        QList<TimelineExport::Part> parts;
        QList<int> expected;
        for (int i = 0; i < 2; ++i) {
            const QString source = dir.filePath(QStringLiteral("reel %1 & co.mp4").arg(i + 1));
            QVERIFY(FrameIndexClips::generate(source, QStringLiteral("25"), ClipFrames * (i + 1),
                                              false));
            const StreamFacts facts = FFmpegEngine::getStreamFacts(source);
            QVERIFY(facts.known());
            const TimelineData data = timelineOf(cuts[i], facts.fps());
            const QString ours = dir.filePath(QStringLiteral("sequence_%1.mp4").arg(i));
            QString error;
            QVERIFY2(render(source, data, facts, ours, &error), qPrintable(error));
            expected << FrameIndexClips::readIndices(ours);
            parts.append({data, facts, source});
        }
        MltExport exporter;
        const QString mlt = dir.filePath(QStringLiteral("sequence.mlt"));
        QString error;
        QVERIFY(exporter.writeSequence(parts, mlt, TimelineAxis::Edited, &error));
        const QString theirs = dir.filePath(QStringLiteral("sequence_melt.mkv"));
        QVERIFY(renderWithMelt(mlt, theirs));
        QCOMPARE(FrameIndexClips::readIndices(theirs), expected);
    }
};

QTEST_GUILESS_MAIN(MltRenderTest)
#include "tst_mltrender.moc"
