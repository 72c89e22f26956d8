#include "TestSupport.h"
#include "timeline/MarkersCsvExport.h"
#include "timeline/TimelineData.h"
#include "timeline/TimelineExport.h"
#include "timeline/TimelineExports.h"
#include "timeline/TimelineMath.h"

#include <QJsonArray>
#include <QTemporaryDir>
#include <QtTest>

using namespace Tessaryn;

namespace {

Segment seg(double s0, double s1, double e0, double e1, Classification cls, const QString& desc) {
    Segment s;
    s.source_start = s0;
    s.source_end = s1;
    s.edited_start = e0;
    s.edited_end = e1;
    s.classification = cls;
    s.description = desc;
    return s;
}

TimelineData sample() {
    TimelineData d;
    d.segments = {
        seg(61.5, 75.0, 0.0, 13.5, Classification::Milestone,
            "  Opening   the case,\n \"carefully\"  "),
        seg(75.0, 105.0, 13.5, 16.5, Classification::RepetitiveAssembly, "Screws: 100% of them"),
        seg(105.0, 108.0, 16.5, 16.5, Classification::StaticPause, "Long pause"),
        seg(108.0, 108.14, 16.5, 16.64, Classification::Milestone, "Blink"),
        seg(108.14, 110.0, 16.64, 18.5, Classification::Unclassified, "Done %1 %2"),
    };
    return d;
}

} // namespace

class TimelineExportTest : public QObject {
    Q_OBJECT

private:
    QTemporaryDir dir;

private slots:
    void markers_data() {
        QTest::addColumn<bool>("edited");
        QTest::addColumn<QByteArray>("expected");
        QTest::newRow("source axis")
            << false
            << QByteArray("Record In,Record Out,Marker Name,Color,Notes\n"
                          "\"00:01:01:15\",\"00:01:15:00\",\"Opening the case carefully\","
                          "\"Green\",\"milestone\"\n"
                          "\"00:01:15:00\",\"00:01:45:00\",\"Screws: 100% of them\",\"Yellow\","
                          "\"repetitive_assembly\"\n"
                          "\"00:01:45:00\",\"00:01:48:00\",\"Long pause\",\"Red\","
                          "\"static_pause\"\n"
                          "\"00:01:48:00\",\"00:01:48:04\",\"Blink\",\"Green\",\"milestone\"\n"
                          "\"00:01:48:04\",\"00:01:50:00\",\"Done %1 %2\",\"Blue\",\"\"\n");
        QTest::newRow("edited axis leaves out pauses")
            << true
            << QByteArray("Record In,Record Out,Marker Name,Color,Notes\n"
                          "\"00:00:00:00\",\"00:00:13:15\",\"Opening the case carefully\","
                          "\"Green\",\"milestone\"\n"
                          "\"00:00:13:15\",\"00:00:16:15\",\"Screws: 100% of them\",\"Yellow\","
                          "\"repetitive_assembly\"\n"
                          "\"00:00:16:15\",\"00:00:16:19\",\"Blink\",\"Green\",\"milestone\"\n"
                          "\"00:00:16:19\",\"00:00:18:15\",\"Done %1 %2\",\"Blue\",\"\"\n");
    }

    void markers() {
        QFETCH(bool, edited);
        QFETCH(QByteArray, expected);
        const QString path = dir.filePath(QStringLiteral("m/%1/markers.csv").arg(edited));
        QVERIFY(TimelineMath::exportDaVinciMarkersCsv(sample(), path, edited, 30.0));
        QCOMPARE(TestSupport::readFile(path), expected);
    }

    void subtitles_data() {
        QTest::addColumn<bool>("edited");
        QTest::addColumn<QByteArray>("expected");
        QTest::newRow("source axis")
            << false
            << QByteArray("1\n00:01:01,500 --> 00:01:15,000\nOpening the case, \"carefully\"\n\n"
                          "2\n00:01:15,000 --> 00:01:45,000\nScrews: 100% of them\n\n"
                          "3\n00:01:45,000 --> 00:01:48,000\nLong pause\n\n"
                          "4\n00:01:48,140 --> 00:01:50,000\nDone %1 %2\n\n");
        QTest::newRow("edited axis")
            << true
            << QByteArray("1\n00:00:00,000 --> 00:00:13,500\nOpening the case, \"carefully\"\n\n"
                          "2\n00:00:13,500 --> 00:00:16,500\nScrews: 100% of them\n\n"
                          "3\n00:00:16,640 --> 00:00:18,500\nDone %1 %2\n\n");
    }

    void subtitles() {
        QFETCH(bool, edited);
        QFETCH(QByteArray, expected);
        const QString path = dir.filePath(QStringLiteral("s/%1/cues.srt").arg(edited));
        QVERIFY(TimelineMath::exportSrtSubtitles(sample(), path, edited));
        QCOMPARE(TestSupport::readFile(path), expected);
    }

    void emptyTimeline() {
        const QString csv = dir.filePath("empty.csv");
        const QString srt = dir.filePath("empty.srt");
        QVERIFY(TimelineMath::exportDaVinciMarkersCsv(TimelineData(), csv, false, 30.0));
        QVERIFY(TimelineMath::exportSrtSubtitles(TimelineData(), srt, true));
        QCOMPARE(TestSupport::readFile(csv),
                 QByteArray("Record In,Record Out,Marker Name,Color,Notes\n"));
        QVERIFY(QFileInfo(srt).isFile());
        QCOMPARE(QFileInfo(srt).size(), 0);
    }

    void replacesPreviousContentWhole() {
        const QString path = dir.filePath("replace.srt");
        QVERIFY(TestSupport::writeFile(path, QByteArray(4096, 'x')));
        QVERIFY(TimelineMath::exportSrtSubtitles(TimelineData(), path, false));
        QCOMPARE(QFileInfo(path).size(), 0);
    }

    void unwritableTargetFailsAndKeepsOldFile() {
        // A path below a regular file can never be created, even by a privileged user.
        const QString blocker = dir.filePath("blocker");
        QVERIFY(TestSupport::writeFile(blocker, "not a folder"));
        QVERIFY(!TimelineMath::exportDaVinciMarkersCsv(sample(), blocker + "/x.csv", false, 30.0));
        QVERIFY(!TimelineMath::exportSrtSubtitles(sample(), blocker + "/x.srt", false));

        // The target itself a folder: the write fails and nothing is replaced.
        const QString folder = dir.filePath("iam.csv");
        QVERIFY(QDir().mkpath(folder));
        QVERIFY(!TimelineMath::exportDaVinciMarkersCsv(sample(), folder, false, 30.0));
        QVERIFY(QFileInfo(folder).isDir());
    }
    void registryNamesItsFormats_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<bool>("known");
        for (const QString& name : TimelineExports::formats())
            QTest::newRow(qPrintable(name)) << name << true;
        QTest::newRow("letter case matters") << "CSV" << false;
        QTest::newRow("not yet a format") << "aaf" << false;
        QTest::newRow("empty") << "" << false;
    }

    void registryNamesItsFormats() {
        QFETCH(QString, name);
        QFETCH(bool, known);
        const std::unique_ptr<TimelineExport> format = TimelineExports::create(name);
        QCOMPARE(format != nullptr, known);
        if (format)
            QCOMPARE(format->formatName(), name);
    }

    // The registry's formats write exactly what the named functions write.
    void registryFormatsMatchTheNamedExports() {
        QCOMPARE(TimelineExports::formats(),
                 (QStringList{"csv", "srt", "edl", "fcpxml", "mlt", "otio"}));
        for (const TimelineAxis axis : {TimelineAxis::Source, TimelineAxis::Edited}) {
            const bool edited = axis == TimelineAxis::Edited;
            const QString csv = dir.filePath(QStringLiteral("reg/%1.csv").arg(edited));
            const QString srt = dir.filePath(QStringLiteral("reg/%1.srt").arg(edited));
            QString error;
            QVERIFY(TimelineExports::create("csv")->write(sample(), csv, axis, &error));
            QVERIFY(TimelineExports::create("srt")->write(sample(), srt, axis, &error));
            QVERIFY(error.isEmpty());
            QCOMPARE(TestSupport::readFile(csv),
                     TimelineMath::markersCsv(sample(), edited, 30.0).toUtf8());
            QCOMPARE(TestSupport::readFile(srt),
                     TimelineMath::srtSubtitles(sample(), edited).toUtf8());
        }
    }

    void failedWriteGivesAReason() {
        const QString blocker = dir.filePath("reason/blocker");
        QVERIFY(TestSupport::writeFile(blocker, "kept"));
        const MarkersCsvExport csv;
        QString error;
        QVERIFY(!csv.write(sample(), blocker + "/x.csv", TimelineAxis::Source, &error));
        QVERIFY2(error.contains(blocker), qPrintable(error));

        const QString folder = dir.filePath("reason/folder.csv");
        QVERIFY(QDir().mkpath(folder));
        error.clear();
        QVERIFY(!csv.write(sample(), folder, TimelineAxis::Edited, &error));
        QVERIFY2(error.contains(folder), qPrintable(error));
        QCOMPARE(TestSupport::readFile(blocker), QByteArray("kept"));
        QVERIFY(!csv.write(sample(), folder, TimelineAxis::Edited, nullptr));
    }

    // A word the model made up is a milestone once read, so it is exported as one.
    void unknownWordFromJsonExportsAsMilestone() {
        const QJsonObject segment{{"source_start", 0.0},
                                  {"source_end", 2.0},
                                  {"description", "Odd"},
                                  {"classification", "custom_word"}};
        const TimelineData data = TimelineData::fromJson({{"segments", QJsonArray{segment}}});
        QCOMPARE(MarkersCsvExport(25.0).text(data, TimelineAxis::Source),
                 QString("Record In,Record Out,Marker Name,Color,Notes\n"
                         "\"00:00:00:00\",\"00:00:02:00\",\"Odd\",\"Green\",\"milestone\"\n"));
    }
};

QTEST_GUILESS_MAIN(TimelineExportTest)
#include "tst_timelineexport.moc"
