#include "FrameIndexClips.h"
#include "MediaTestSupport.h"
#include "media/AudioSampleDecoder.h"
#include "media/FrameServer.h"
#include "media/VideoFrameDecoder.h"

#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QtTest>

using namespace Tessaryn;

// The preview's decoders against clips whose frames carry their own index.
class TestPreviewDecoder : public QObject {
    Q_OBJECT

    QTemporaryDir dir;
    QString reordered; // short key frame distance and reordered (B) frames
    QString withSound;

private slots:
    void initTestCase() {
        QVERIFY(dir.isValid());
        const QString plain = dir.filePath("plain.mp4");
        QVERIFY(FrameIndexClips::generate(plain, "25", 100, false));
        reordered = dir.filePath("reordered.mp4");
        QVERIFY(MediaTestSupport::runTool(
            "ffmpeg", {"-v", "error", "-y", "-i", plain, "-c:v", "libx264", "-qp", "0", "-g", "10",
                       "-bf", "3", "-preset", "medium", "-pix_fmt", "yuv420p", reordered}));
        withSound = dir.filePath("sound.mp4");
        QVERIFY(MediaTestSupport::generateClip(withSound, 160, 120, 25, 3.0, true));
    }

    // Any order of requests shows the frame of the requested time: forward runs decode on,
    // jumps back and far ahead seek.
    void everyRequestShowsItsFrame() {
        VideoFrameDecoder decoder;
        QString error;
        QVERIFY2(decoder.open(reordered, &error), qPrintable(error));
        QCOMPARE(decoder.facts().rate, 25.0);
        QCOMPARE(decoder.facts().size, QSize(FrameIndexClips::Width, FrameIndexClips::Height));
        QVERIFY(!decoder.facts().hasAudio);

        QList<int> frames;
        for (int i = 0; i < 30; ++i)
            frames << i; // playback
        for (int i = 0; i < 40; ++i)
            frames << int(QRandomGenerator::global()->bounded(100)); // scrubbing
        frames << 99 << 0 << 10 << 9 << 11;
        for (int frame : frames) {
            QImage image;
            double shown = -1.0;
            // Mid-frame times show the frame that started before them.
            const double at = frame / 25.0 + (frame % 3) * 0.013;
            QVERIFY2(decoder.frameAt(at, &image, &shown, &error), qPrintable(error));
            QCOMPARE(FrameIndexClips::indexIn(image), frame);
            QCOMPARE(qRound(shown * 25.0), frame);
        }
        QVERIFY(decoder.seekCount() < 50); // the first 30 came by decoding on

        QImage image;
        double shown = 0.0;
        QVERIFY(decoder.frameAt(100.0, &image, &shown, &error)); // past the end: the last frame
        QCOMPARE(FrameIndexClips::indexIn(image), 99);
        QVERIFY(!VideoFrameDecoder().frameAt(0.0, &image, &shown, &error));
        QVERIFY(!decoder.open(dir.filePath("missing.mp4"), &error));
        QVERIFY(error.contains("missing.mp4"));
    }

    void soundComesAtTheAskedTempo_data() {
        QTest::addColumn<double>("from");
        QTest::addColumn<double>("tempo");
        QTest::newRow("whole clip") << 0.0 << 1.0;
        QTest::newRow("from the middle") << 1.5 << 1.0;
        QTest::newRow("twice as fast") << 0.0 << 2.0;
        QTest::newRow("four times from 1 s") << 1.0 << 4.0;
    }
    void soundComesAtTheAskedTempo() {
        QFETCH(double, from);
        QFETCH(double, tempo);
        AudioSampleDecoder sound;
        QString error;
        QVERIFY2(sound.open(withSound, &error), qPrintable(error));
        QVERIFY(sound.seek(from, tempo));
        qint64 bytes = 0;
        int loudest = 0;
        for (QByteArray chunk = sound.read(8192); !chunk.isEmpty(); chunk = sound.read(8192)) {
            QCOMPARE(chunk.size() % AudioSampleDecoder::BytesPerFrame, 0);
            bytes += chunk.size();
            const auto* samples = reinterpret_cast<const qint16*>(chunk.constData());
            for (int i = 0; i < chunk.size() / 2; ++i)
                loudest = std::max(loudest, std::abs(int(samples[i])));
        }
        const double seconds =
            double(bytes) / AudioSampleDecoder::BytesPerFrame / AudioSampleDecoder::SampleRate;
        QVERIFY2(qAbs(seconds - (3.0 - from) / tempo) < 0.06, qPrintable(QString::number(seconds)));
        QVERIFY(loudest > 1000); // a tone, not silence

        AudioSampleDecoder none;
        QVERIFY(!none.open(reordered, &error));
        QVERIFY(error.contains("no sound"));
    }

    // A drag asks for far more frames than can be decoded: one runs, one waits, the rest are
    // overwritten, and the last request is the frame finally shown.
    void scrubbingNeverQueuesMoreThanOneDecode() {
        FrameServer server;
        bool opened = false;
        server.openedCallback = [&](bool ok, const VideoFrameDecoder::Facts&, const QString&) {
            opened = ok;
        };
        QList<int> shown;
        server.frameCallback = [&](const QImage& image, double) {
            shown << FrameIndexClips::indexIn(image);
        };
        server.open(reordered);
        QTRY_VERIFY(opened);
        for (int frame = 0; frame < 100; frame += 3)
            server.request(frame / 25.0);
        server.request(42 / 25.0);
        QTRY_VERIFY(!server.isBusy());
        QCOMPARE(server.mostInFlight(), 1);
        QVERIFY(server.decodesStarted() < 10);
        QCOMPARE(shown.size(), server.decodesStarted());
        QCOMPARE(shown.first(), 0);
        QCOMPARE(shown.last(), 42);

        // Answers for a clip no longer open are not shown as its pictures.
        server.request(1.0);
        server.open(withSound);
        const int before = shown.size();
        QTRY_VERIFY(!server.isBusy());
        QCOMPARE(shown.size(), before);
    }
};

QTEST_GUILESS_MAIN(TestPreviewDecoder)
#include "tst_previewdecoder.moc"
