#include "MediaTestSupport.h"
#include "media/FFmpegEngine.h"
#include "media/ProbeJob.h"
#include "media/Stitcher.h"
#include "timeline/StreamFacts.h"
#include "timeline/TimelineData.h"

#include <QTemporaryDir>
#include <QtTest>

using namespace Tessaryn;

namespace {

Segment part(double from, double to, Classification kind, double speed) {
    Segment segment;
    segment.source_start = from;
    segment.source_end = to;
    segment.classification = kind;
    segment.speed_factor = speed;
    return segment;
}

// Kept, paused and sped parts: sound must stay in step across every kind of joint.
TimelineData rampedTimeline() {
    TimelineData data;
    data.segments = {part(0.0, 1.5, Classification::Milestone, 1.0),
                     part(1.5, 2.0, Classification::StaticPause, 0.0),
                     part(2.0, 3.3, Classification::RepetitiveAssembly, 10.0),
                     part(3.3, 4.0, Classification::Milestone, 1.0)};
    return data;
}

// Seconds of each stream by type, as ffprobe reads them from the file.
QHash<QString, double> streamSeconds(const QString& path) {
    QByteArray out;
    QHash<QString, double> seconds;
    if (!MediaTestSupport::runTool("ffprobe",
                                   {"-v", "error", "-show_entries", "stream=codec_type,duration",
                                    "-of", "compact=p=0:nk=1", path},
                                   &out))
        return seconds;
    for (const QString& line : QString::fromUtf8(out).split('\n', Qt::SkipEmptyParts))
        seconds.insert(line.section('|', 0, 0), line.section('|', 1, 1).toDouble());
    return seconds;
}

} // namespace

class RenderSoundTest : public QObject {
    Q_OBJECT

private:
    QTemporaryDir dir;
    QString withSound;
    QString silent;
    QString odd;
    QString rotated;

    static std::optional<StreamFacts> probe(const QString& path) {
        ProbeJob job(path);
        std::optional<bool> ok;
        job.probedCallback = [&](bool success, double, const QString&) { ok = success; };
        job.start();
        if (!QTest::qWaitFor([&] { return ok.has_value(); }, 30000) || !*ok)
            return std::nullopt;
        return job.streamFacts();
    }

    static QString render(const QString& source, const RenderOptions& options, const QString& out) {
        const std::optional<StreamFacts> facts = probe(source);
        if (!facts)
            return QStringLiteral("cannot probe %1").arg(source);
        FFmpegEngine engine;
        std::optional<QString> error;
        engine.finishedCallback = [&](bool success, const QString&, const QString& text) {
            error = success ? QString() : text + QStringLiteral(" ");
        };
        engine.renderEditedVideo(source, rampedTimeline(), *facts, options, out);
        if (!QTest::qWaitFor([&] { return error.has_value(); }, 60000))
            return QStringLiteral("render did not finish");
        return *error;
    }

private slots:
    void initTestCase() {
        QVERIFY(dir.isValid());
        withSound = dir.filePath("sound.mp4");
        silent = dir.filePath("silent.mp4");
        odd = dir.filePath("odd.mp4");
        rotated = dir.filePath("rotated.mp4");
        QVERIFY(MediaTestSupport::generateClip(withSound, 160, 90, 30, 4.0, true));
        QVERIFY(MediaTestSupport::generateClip(silent, 160, 90, 30, 4.0));
        // Sound for the first half only: later pieces must still get their length of silence.
        QVERIFY(MediaTestSupport::runTool("ffmpeg", {"-v",
                                                     "error",
                                                     "-y",
                                                     "-f",
                                                     "lavfi",
                                                     "-i",
                                                     "testsrc2=size=160x90:rate=30:duration=4",
                                                     "-f",
                                                     "lavfi",
                                                     "-i",
                                                     "sine=frequency=440:duration=2",
                                                     "-c:v",
                                                     "libx264",
                                                     "-preset",
                                                     "ultrafast",
                                                     "-pix_fmt",
                                                     "yuv420p",
                                                     "-c:a",
                                                     "aac",
                                                     dir.filePath("short.mp4")}));
        // 4:4:4 holds odd sizes, which the renders' 4:2:0 cannot.
        QVERIFY(MediaTestSupport::runTool(
            "ffmpeg", {"-v", "error", "-y", "-f", "lavfi", "-i",
                       "testsrc2=size=320x240:rate=25:duration=4", "-vf", "scale=321:241", "-c:v",
                       "libx264", "-preset", "ultrafast", "-pix_fmt", "yuv444p", odd}));
    }

    // A phone's upright clip: stored on its side with a display rotation.
    void rotationIsProbed() {
        QVERIFY(
            MediaTestSupport::runTool("ffmpeg", {"-v", "error", "-y", "-i", silent, "-c", "copy",
                                                 "-metadata:s:v:0", "rotate=90", rotated}));
        const std::optional<StreamFacts> facts = probe(rotated);
        QVERIFY(facts);
        QCOMPARE(facts->rotation % 180, 90);
        QCOMPARE(QList<int>({facts->displayWidth(), facts->displayHeight()}),
                 QList<int>({90, 160}));
    }

    void soundFollowsThePicture_data() {
        QTest::addColumn<QString>("source");
        QTest::addColumn<bool>("sound");
        QTest::addColumn<bool>("muted");
        QTest::addColumn<QStringList>("expectedStreams");

        const QStringList both{"h264|video|160|90|yuv420p", "aac|audio"};
        QTest::newRow("sped sound") << "sound.mp4" << true << false << both;
        QTest::newRow("muted sped parts") << "sound.mp4" << true << true << both;
        QTest::newRow("sound shorter than the picture") << "short.mp4" << true << false << both;
        QTest::newRow("sound off")
            << "sound.mp4" << false << false << QStringList{"h264|video|160|90|yuv420p"};
        // A silent source still gives a sound track, so its cut joins the others in a master.
        QTest::newRow("source without sound") << "silent.mp4" << true << false << both;
        // Odd sizes are padded to even ones the encoder accepts.
        // Turned upright as it is shown.
        QTest::newRow("rotated") << "rotated.mp4" << true << false
                                 << QStringList{"h264|video|90|160|yuv420p", "aac|audio"};
        QTest::newRow("321x241") << "odd.mp4" << true << false
                                 << QStringList{"h264|video|322|242|yuv420p", "aac|audio"};
    }

    void soundFollowsThePicture() {
        QFETCH(QString, source);
        QFETCH(bool, sound);
        QFETCH(bool, muted);
        QFETCH(QStringList, expectedStreams);

        RenderOptions options;
        options.sound = sound;
        options.spedSound =
            muted ? RenderOptions::SpedSound::Muted : RenderOptions::SpedSound::PitchKept;
        const QString out = dir.filePath(QStringLiteral("cut %1.mp4").arg(QTest::currentDataTag()));
        const QString error = render(dir.filePath(source), options, out);
        QVERIFY2(error.isEmpty(), qPrintable(error));

        QStringList found;
        for (const QString& stream : MediaTestSupport::streams(out))
            found << (stream.contains("|audio") ? stream.section('|', 0, 1) : stream);
        QCOMPARE(found, expectedStreams);
        const QHash<QString, double> seconds = streamSeconds(out);
        const double frame = 1.0 / (source == "odd.mp4" ? 25.0 : 30.0);
        if (sound)
            QVERIFY2(std::abs(seconds.value("audio") - seconds.value("video")) <= frame,
                     qPrintable(QStringLiteral("audio %1 s, video %2 s")
                                    .arg(seconds.value("audio"))
                                    .arg(seconds.value("video"))));
    }

    void masterKeepsTheSound() {
        const QString first = dir.filePath("master cut one.mp4");
        const QString second = dir.filePath("master cut two.mp4");
        QCOMPARE(render(withSound, RenderOptions(), first), QString());
        QCOMPARE(render(silent, RenderOptions(), second), QString());

        Stitcher stitcher;
        std::optional<QString> error;
        stitcher.finishedCallback = [&](bool success, const QString&, const QString& text) {
            error = success ? QString() : text + QStringLiteral(" ");
        };
        const QString master = dir.filePath("release/master.mp4");
        stitcher.stitchClips({first, second}, master);
        QVERIFY(QTest::qWaitFor([&] { return error.has_value(); }, 60000));
        QVERIFY2(error->isEmpty(), qPrintable(*error));
        const QHash<QString, double> seconds = streamSeconds(master);
        QVERIFY(seconds.contains("audio"));
        QVERIFY2(std::abs(seconds.value("audio") - seconds.value("video")) <= 2.0 / 30.0,
                 qPrintable(QStringLiteral("audio %1 s, video %2 s")
                                .arg(seconds.value("audio"))
                                .arg(seconds.value("video"))));
    }

    void stitchRefusesMixedSound() {
        const QString loud = dir.filePath("mixed loud.mp4");
        const QString mute = dir.filePath("mixed mute.mp4");
        RenderOptions off;
        off.sound = false;
        QCOMPARE(render(withSound, RenderOptions(), loud), QString());
        QCOMPARE(render(withSound, off, mute), QString());
        Stitcher stitcher;
        std::optional<QString> error;
        stitcher.finishedCallback = [&](bool success, const QString&, const QString& text) {
            error = success ? QString() : text;
        };
        stitcher.stitchClips({loud, mute}, dir.filePath("release/mixed.mp4"));
        QVERIFY(QTest::qWaitFor([&] { return error.has_value(); }, 60000));
        QVERIFY2(error->contains("sound"), qPrintable(*error));
    }
};

QTEST_GUILESS_MAIN(RenderSoundTest)
#include "tst_rendersound.moc"
