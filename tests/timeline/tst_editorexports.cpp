#include "timeline/TimelineData.h"
#include "timeline/TimelineExport.h"
#include "timeline/TimelineExports.h"

#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>

using namespace Tessaryn;

namespace {

// The clip's name carries what each format must escape.
const QString AwkwardSource =
    QStringLiteral("/footage/take 1 & \"best\" 'one' r\u00e9sum\u00e9.mp4");

Segment part(double from, double to, Classification kind, double speed, const QString& name) {
    Segment s;
    s.source_start = from;
    s.source_end = to;
    s.classification = kind;
    s.speed_factor = speed;
    s.description = name;
    return s;
}

// Kept, sped, paused and kept again; times in seconds, laid on the rate's grid by the plan.
TimelineData sample() {
    TimelineData data;
    data.segments = {
        part(0.0, 2.0, Classification::Milestone, 1.0, QStringLiteral("Open the case")),
        part(2.0, 6.0, Classification::RepetitiveAssembly, 4.0, QStringLiteral("Screws & <bolts>")),
        part(6.0, 7.0, Classification::StaticPause, 1.0, QStringLiteral("Coffee")),
        part(7.0, 8.5, Classification::Unclassified, 1.0, QStringLiteral("Done \"at last\"")),
    };
    return data;
}

StreamFacts factsAt(int num, int den) {
    StreamFacts facts;
    facts.rateNum = num;
    facts.rateDen = den;
    facts.width = 1280;
    facts.height = 720;
    facts.hasAudio = true;
    facts.duration = 10.0;
    return facts;
}

std::unique_ptr<TimelineExport> exporterFor(const QString& format, const StreamFacts& facts,
                                            bool dropFrame) {
    std::unique_ptr<TimelineExport> exporter = TimelineExports::create(format);
    if (exporter) {
        exporter->setStreamFacts(facts);
        exporter->setDropFrame(dropFrame);
        exporter->setSourcePath(AwkwardSource);
    }
    return exporter;
}

} // namespace

class EditorExportsTest : public QObject {
    Q_OBJECT

private:
    QTemporaryDir dir;

    // Drop-frame rows only for formats that write timecode.
    void addRows(const QString& format, const QList<int>& rateDenominators, bool timecode) {
        for (int den : rateDenominators) {
            const int num = den == 1001 ? 30000 : den;
            const QList<bool> dropFrames =
                den == 1001 ? QList<bool>{false, true} : QList<bool>{false};
            for (bool drop : dropFrames) {
                for (bool edited : {false, true}) {
                    const QString name =
                        QStringLiteral("%1_%2%3_%4.%1")
                            .arg(format,
                                 den == 1001 ? QStringLiteral("2997") : QString::number(num),
                                 den == 1001 && timecode
                                     ? (drop ? QStringLiteral("df") : QStringLiteral("ndf"))
                                     : QString(),
                                 edited ? QStringLiteral("edited") : QStringLiteral("source"));
                    QTest::newRow(qPrintable(name))
                        << format << (den == 1001 ? 30000 : num) << (den == 1001 ? 1001 : 1) << drop
                        << edited << name;
                }
            }
        }
    }

private slots:
    void initTestCase() { QVERIFY(dir.isValid()); }

    // Each file is compared whole with one reviewed by hand; TESSARYN_WRITE_GOLDEN=1 rewrites
    // them after a deliberate change.
    void matchesGolden_data() {
        QTest::addColumn<QString>("format");
        QTest::addColumn<int>("num");
        QTest::addColumn<int>("den");
        QTest::addColumn<bool>("drop");
        QTest::addColumn<bool>("edited");
        QTest::addColumn<QString>("golden");
        addRows(QStringLiteral("mlt"), {24, 25, 1001}, false);
    }

    void matchesGolden() {
        QFETCH(QString, format);
        QFETCH(int, num);
        QFETCH(int, den);
        QFETCH(bool, drop);
        QFETCH(bool, edited);
        QFETCH(QString, golden);
        const auto exporter = exporterFor(format, factsAt(num, den), drop);
        QVERIFY(exporter);
        const QByteArray actual =
            exporter->text(sample(), edited ? TimelineAxis::Edited : TimelineAxis::Source).toUtf8();
        const QString path = QStringLiteral(TESSARYN_GOLDEN_DIR "/") + golden;
        if (qEnvironmentVariableIntValue("TESSARYN_WRITE_GOLDEN") == 1) {
            QFile out(path);
            QVERIFY(out.open(QIODevice::WriteOnly));
            out.write(actual);
        }
        QFile file(path);
        QVERIFY2(file.open(QIODevice::ReadOnly), qPrintable(path));
        QCOMPARE(actual, file.readAll());
    }

    void xmlIsWellFormed_data() {
        QTest::addColumn<QString>("format");
        QTest::newRow("mlt") << QStringLiteral("mlt");
    }

    // xmllint, an independent XML parser, reads every file and the escaped clip name back.
    void xmlIsWellFormed() {
        QFETCH(QString, format);
        for (bool edited : {false, true}) {
            const auto exporter = exporterFor(format, factsAt(25, 1), false);
            QVERIFY(exporter);
            const QString path = dir.filePath(QStringLiteral("check.") + format);
            QString error;
            QVERIFY(exporter->write(sample(), path,
                                    edited ? TimelineAxis::Edited : TimelineAxis::Source, &error));
            QProcess lint;
            lint.start(QStringLiteral("xmllint"), {QStringLiteral("--noout"), path});
            QVERIFY2(lint.waitForFinished(30000), "xmllint is not installed");
            QCOMPARE(lint.exitCode(), 0);
            QProcess dump;
            dump.start(QStringLiteral("xmllint"),
                       {QStringLiteral("--xpath"),
                        QStringLiteral("string(//*[contains(., 'take 1')][not(*)])"), path});
            QVERIFY(dump.waitForFinished(30000));
            QVERIFY2(QString::fromUtf8(dump.readAllStandardOutput()).contains(AwkwardSource),
                     qPrintable(format));
        }
    }
};

QTEST_GUILESS_MAIN(EditorExportsTest)
#include "tst_editorexports.moc"
