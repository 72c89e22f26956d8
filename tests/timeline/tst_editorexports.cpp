#include "timeline/EdlMarkerExport.h"
#include "timeline/RenderPlan.h"
#include "timeline/TimelineData.h"
#include "timeline/TimelineExport.h"
#include "timeline/TimelineExports.h"

#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QUrl>
#include <QXmlStreamReader>
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

StreamFacts factsAt(int num, int den, bool audio = false) {
    StreamFacts facts;
    facts.rateNum = num;
    facts.rateDen = den;
    facts.width = 1280;
    facts.height = 720;
    facts.hasAudio = audio;
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

// Objects that lack OTIO_SCHEMA, below the path; metadata and the media map are plain
// dictionaries in OpenTimelineIO.
void findUntyped(const QJsonValue& value, const QString& path, QStringList* untyped) {
    if (value.isArray()) {
        const QJsonArray array = value.toArray();
        for (int i = 0; i < array.size(); ++i)
            findUntyped(array[i], path + QStringLiteral("/%1").arg(i), untyped);
        return;
    }
    if (!value.isObject())
        return;
    const QJsonObject object = value.toObject();
    if (!object.contains(QStringLiteral("OTIO_SCHEMA")))
        *untyped << path;
    for (auto it = object.begin(); it != object.end(); ++it) {
        if (it.key() == QLatin1String("metadata"))
            continue;
        if (it.key() == QLatin1String("media_references")) {
            for (const QJsonValue& reference : it.value().toObject())
                findUntyped(reference, path + "/media_references", untyped);
            continue;
        }
        findUntyped(it.value(), path + "/" + it.key(), untyped);
    }
}

double frames(const QJsonObject& range, const char* field) {
    return range[QLatin1String(field)].toObject()[QStringLiteral("value")].toDouble();
}

// One event read back from a marker list: its record frame counted from the record start.
struct Event {
    qint64 frame = 0;
    QString color;
    QString name;
    qint64 frames = 0;
};

// Labels to frames by the SMPTE counting rules, independent of the writer's.
qint64 frameOfLabel(const QString& label, int nominal, bool drop) {
    const QStringList parts = label.split(QRegularExpression(QStringLiteral("[:;]")));
    const qint64 h = parts[0].toInt(), m = parts[1].toInt(), s = parts[2].toInt(),
                 f = parts[3].toInt();
    qint64 frame = ((h * 60 + m) * 60 + s) * nominal + f;
    if (drop) {
        const qint64 minutes = h * 60 + m;
        frame -= (nominal / 15) * (minutes - minutes / 10);
    }
    return frame;
}

QList<Event> readEvents(const QString& text, int nominal, bool drop, int hour = 1) {
    static const QRegularExpression eventLine(
        QStringLiteral(R"(^(\d{3})  001      V     C        (\S+) (\S+) (\S+) (\S+)\s*\n)"
                       R"( \|C:ResolveColor(\w+) \|M:(.*) \|D:(\d+)$)"),
        QRegularExpression::MultilineOption);
    const qint64 start = frameOfLabel(
        QStringLiteral("%1:00:00:00").arg(hour, 2, 10, QLatin1Char('0')), nominal, drop);
    QList<Event> events;
    for (auto it = eventLine.globalMatch(text); it.hasNext();) {
        const auto match = it.next();
        events.append({frameOfLabel(match.captured(4), nominal, drop) - start, match.captured(6),
                       match.captured(7), match.captured(8).toLongLong()});
    }
    return events;
}

// "n/ds" or "0s" as frames at num/den frames a second.
qint64 framesOfTime(const QString& text, int num, int den) {
    const QStringList parts = text.chopped(1).split('/');
    const qint64 numerator = parts[0].toLongLong();
    const qint64 denominator = parts.size() > 1 ? parts[1].toLongLong() : 1;
    return numerator * num / (denominator * den);
}

} // namespace

class EditorExportsTest : public QObject {
    Q_OBJECT

private:
    QTemporaryDir dir;

    static void addRow(const QString& format, int den, bool drop, bool edited, bool timecode) {
        const int num = den == 1001 ? 30000 : den;
        const QString rate = den == 1001 ? QStringLiteral("2997") : QString::number(num);
        const QString dropText = !timecode || den != 1001 ? QString()
                                 : drop                   ? QStringLiteral("df")
                                                          : QStringLiteral("ndf");
        const QString name = QStringLiteral("%1_%2%3_%4.%1")
                                 .arg(format, rate, dropText,
                                      edited ? QStringLiteral("edited") : QStringLiteral("source"));
        QTest::newRow(qPrintable(name))
            << format << num << (den == 1001 ? 1001 : 1) << drop << edited << name;
    }

    // Both axes at every rate; drop-frame rows only for formats that write timecode.
    static void addRows(const QString& format, bool timecode) {
        for (int den : {24, 25, 1001}) {
            for (bool drop : {false, true}) {
                if (drop && (den != 1001 || !timecode))
                    continue;
                for (bool edited : {false, true})
                    addRow(format, den, drop, edited, timecode);
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
        addRows(QStringLiteral("edl"), true);
        addRows(QStringLiteral("mlt"), false);
        addRow(QStringLiteral("fcpxml"), 24, false, false, true);
        addRow(QStringLiteral("fcpxml"), 25, false, true, true);
        addRow(QStringLiteral("fcpxml"), 1001, false, true, true);
        addRow(QStringLiteral("fcpxml"), 1001, true, true, true);
        // OpenTimelineIO files are long: one axis per rate.
        addRow(QStringLiteral("otio"), 24, false, false, false);
        addRow(QStringLiteral("otio"), 25, false, true, false);
        addRow(QStringLiteral("otio"), 1001, false, true, false);
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

    void otioReadsBack_data() {
        QTest::addColumn<int>("num");
        QTest::addColumn<int>("den");
        QTest::addColumn<bool>("audio");
        QTest::newRow("24 silent") << 24 << 1 << false;
        QTest::newRow("25 with sound") << 25 << 1 << true;
        QTest::newRow("29.97 with sound") << 30000 << 1001 << true;
    }

    // A strict parser reads the edited file back; its clips are the render plan's pieces.
    void otioReadsBack() {
        QFETCH(int, num);
        QFETCH(int, den);
        QFETCH(bool, audio);
        const StreamFacts facts = factsAt(num, den, audio);
        const auto exporter = exporterFor(QStringLiteral("otio"), facts, false);
        QVERIFY(exporter);
        QJsonParseError error;
        const QJsonDocument document = QJsonDocument::fromJson(
            exporter->text(sample(), TimelineAxis::Edited).toUtf8(), &error);
        QCOMPARE(error.error, QJsonParseError::NoError);
        QStringList untyped;
        findUntyped(document.object(), QString(), &untyped);
        QCOMPARE(untyped, QStringList());

        const QJsonArray tracks = document.object()["tracks"].toObject()["children"].toArray();
        QCOMPARE(tracks.size(), audio ? 2 : 1);
        const RenderPlan plan = RenderPlan::compute(sample(), facts);
        for (const QJsonValue& track : tracks) {
            const QJsonArray clips = track.toObject()["children"].toArray();
            QCOMPARE(clips.size(), plan.pieces().size());
            for (int i = 0; i < clips.size(); ++i) {
                const QJsonObject clip = clips[i].toObject();
                const QJsonObject range = clip["source_range"].toObject();
                const RenderPlan::Piece& piece = plan.pieces()[i];
                QCOMPARE(frames(range, "start_time"), double(piece.firstFrame));
                QCOMPARE(frames(range, "duration"), double(piece.outputFrames));
                QCOMPARE(range["duration"].toObject()["rate"].toDouble(),
                         double(num) / double(den));
                const QJsonArray effects = clip["effects"].toArray();
                const double scalar =
                    effects.isEmpty() ? 1.0 : effects[0].toObject()["time_scalar"].toDouble();
                QCOMPARE(scalar, double(piece.step));
                const QJsonObject reference =
                    clip["media_references"].toObject()["DEFAULT_MEDIA"].toObject();
                QCOMPARE(QUrl(reference["target_url"].toString()).toLocalFile(), AwkwardSource);
            }
        }
    }

    void edlReadsBack_data() {
        QTest::addColumn<int>("num");
        QTest::addColumn<int>("den");
        QTest::addColumn<bool>("drop");
        QTest::addColumn<int>("hour");
        QTest::newRow("24") << 24 << 1 << false << 1;
        QTest::newRow("25 from hour 0") << 25 << 1 << false << 0;
        QTest::newRow("29.97 NDF") << 30000 << 1001 << false << 1;
        QTest::newRow("29.97 DF") << 30000 << 1001 << true << 1;
        QTest::newRow("29.97 DF from hour 10") << 30000 << 1001 << true << 10;
        QTest::newRow("59.94 DF") << 60000 << 1001 << true << 1;
    }

    // The events, read back by the counting rules, sit where the render plan puts the pieces;
    // the timeline runs past ten minutes so that drop-frame labels have skipped.
    void edlReadsBack() {
        QFETCH(int, num);
        QFETCH(int, den);
        QFETCH(bool, drop);
        QFETCH(int, hour);
        TimelineData data = sample();
        data.segments.append(part(8.5, 700.0, Classification::Milestone, 1.0, "Long | take"));
        data.segments.append(part(700.0, 712.0, Classification::Milestone, 1.0, "End"));
        const StreamFacts facts = factsAt(num, den);
        const auto exporter = exporterFor(QStringLiteral("edl"), facts, drop);
        exporter->setRecordStartHour(hour);
        const QString text = exporter->text(data, TimelineAxis::Edited);
        QCOMPARE(text.contains(QStringLiteral("FCM: DROP FRAME")), drop);
        const QList<Event> events = readEvents(text, facts.nominalFps(), drop, hour);
        const RenderPlan plan = RenderPlan::compute(data, facts);
        QCOMPARE(events.size(), plan.pieces().size());
        for (int i = 0; i < events.size(); ++i) {
            const RenderPlan::Piece& piece = plan.pieces()[i];
            QCOMPARE(events[i].frame, piece.outputStart);
            QCOMPARE(events[i].frames, piece.outputFrames);
        }
        QCOMPARE(events[1].color, QStringLiteral("Yellow"));
        QCOMPARE(events[3].name, QStringLiteral("Long / take"));
    }

    // Segments beginning on one frame share a marker; past 999 events a new file begins.
    void edlMergesAndSplits() {
        TimelineData data;
        for (int i = 0; i < 1001; ++i)
            data.segments.append(part(i, i + 1, Classification::Milestone, 1.0, "m"));
        data.segments.insert(1, part(1, 1.01, Classification::StaticPause, 1.0, "sliver"));
        data.segments[2].source_start = 1.01;
        const auto exporter = exporterFor(QStringLiteral("edl"), factsAt(25, 1), false);
        const QString path = dir.filePath(QStringLiteral("many.edl"));
        QString error;
        QVERIFY(exporter->write(data, path, TimelineAxis::Source, &error));
        QFile first(path);
        QFile second(EdlMarkerExport::partPath(path, 1));
        QVERIFY(first.open(QIODevice::ReadOnly) && second.open(QIODevice::ReadOnly));
        const QList<Event> head = readEvents(QString::fromUtf8(first.readAll()), 25, false);
        const QList<Event> tail = readEvents(QString::fromUtf8(second.readAll()), 25, false);
        QCOMPARE(head.size(), EdlMarkerExport::MaxEvents);
        QCOMPARE(tail.size(), 1001 - EdlMarkerExport::MaxEvents);
        QCOMPARE(head[1].name, QStringLiteral("sliver / m"));
        QCOMPARE(head[1].frames, 25);
        QCOMPARE(tail.last().frame, 1000 * 25);

        // A shorter list written later leaves no file of the longer one behind.
        data.segments.resize(10);
        QVERIFY(exporter->write(data, path, TimelineAxis::Source, &error));
        QVERIFY(QFileInfo::exists(path));
        QVERIFY(!QFileInfo::exists(EdlMarkerExport::partPath(path, 1)));
    }

    void sequencesFollowOneAnother_data() {
        QTest::addColumn<int>("firstRate");
        QTest::addColumn<int>("secondRate");
        QTest::newRow("25 then 25") << 25 << 25;
        // The second reel's frames are conformed to the first one's grid.
        QTest::newRow("50 then 25") << 50 << 25;
    }

    // Two reels on one timeline: the second's pieces begin where the first's film ends, each
    // referencing its own clip, in every format that holds sequences.
    void sequencesFollowOneAnother() {
        QFETCH(int, firstRate);
        QFETCH(int, secondRate);
        TimelineData second = sample();
        second.segments.removeLast();
        const QString secondSource = QStringLiteral("/footage/second & last.mov");
        const QList<TimelineExport::Part> parts{
            {sample(), factsAt(firstRate, 1, true), AwkwardSource},
            {second, factsAt(secondRate, 1, false), secondSource}};
        const RenderPlan first = RenderPlan::compute(parts[0].data, parts[0].facts);
        const RenderPlan next = RenderPlan::compute(parts[1].data, parts[1].facts);
        const qint64 scale = firstRate / secondRate;
        // Where each piece begins on the sequence, and which clip it shows.
        QList<qint64> starts;
        QStringList sources;
        for (const RenderPlan::Piece& piece : first.pieces()) {
            starts << piece.outputStart;
            sources << AwkwardSource;
        }
        for (const RenderPlan::Piece& piece : next.pieces()) {
            starts << first.totalOutputFrames() + piece.outputStart * scale;
            sources << secondSource;
        }

        const auto edl = exporterFor(QStringLiteral("edl"), StreamFacts(), false);
        QVERIFY(edl->holdsSequences());
        QList<qint64> marked;
        for (const Event& event :
             readEvents(edl->sequenceText(parts, TimelineAxis::Edited), firstRate, false))
            marked << event.frame;
        QCOMPARE(marked, starts);

        const auto fcpxml = exporterFor(QStringLiteral("fcpxml"), StreamFacts(), false);
        QXmlStreamReader xml(fcpxml->sequenceText(parts, TimelineAxis::Edited));
        QHash<QString, QString> assets; // asset id to clip path
        QString asset;
        QList<qint64> offsets;
        QStringList referenced;
        while (!xml.atEnd()) {
            if (xml.readNext() != QXmlStreamReader::StartElement)
                continue;
            const auto attribute = [&](const char* name) {
                return xml.attributes().value(QLatin1String(name)).toString();
            };
            if (xml.name() == QLatin1String("asset"))
                asset = attribute("id");
            else if (xml.name() == QLatin1String("media-rep"))
                assets[asset] = QUrl(attribute("src")).toLocalFile();
            else if (xml.name() == QLatin1String("asset-clip")) {
                offsets << framesOfTime(attribute("offset"), firstRate, 1);
                referenced << attribute("ref");
            }
        }
        QVERIFY2(!xml.hasError(), qPrintable(xml.errorString()));
        QCOMPARE(offsets, starts);
        QStringList shown;
        for (const QString& ref : std::as_const(referenced))
            shown << assets.value(ref);
        QCOMPARE(shown, sources);

        const auto otio = exporterFor(QStringLiteral("otio"), StreamFacts(), false);
        const QJsonObject timeline =
            QJsonDocument::fromJson(otio->sequenceText(parts, TimelineAxis::Edited).toUtf8())
                .object();
        const QJsonArray tracks = timeline["tracks"].toObject()["children"].toArray();
        QCOMPARE(tracks.size(), 2);
        QStringList targets;
        for (const QJsonValue& clip : tracks[0].toObject()["children"].toArray())
            targets << QUrl(clip.toObject()["media_references"]
                                .toObject()["DEFAULT_MEDIA"]
                                .toObject()["target_url"]
                                .toString())
                           .toLocalFile();
        QCOMPARE(targets, sources);
        // The silent second reel keeps the sound track in step with gaps.
        const QJsonArray sound = tracks[1].toObject()["children"].toArray();
        QCOMPARE(sound.size(), sources.size());
        QCOMPARE(sound.last().toObject()["OTIO_SCHEMA"].toString(), QStringLiteral("Gap.1"));

        QVERIFY(!exporterFor(QStringLiteral("csv"), StreamFacts(), false)->holdsSequences());
    }

    void fcpxmlReadsBack_data() {
        QTest::addColumn<int>("num");
        QTest::addColumn<int>("den");
        QTest::newRow("24") << 24 << 1;
        QTest::newRow("29.97") << 30000 << 1001;
    }

    // Clips follow one another on the storyline; a retimed clip's time map runs through its
    // piece's source frames at its step.
    void fcpxmlReadsBack() {
        QFETCH(int, num);
        QFETCH(int, den);
        const StreamFacts facts = factsAt(num, den);
        const auto exporter = exporterFor(QStringLiteral("fcpxml"), facts, false);
        QXmlStreamReader xml(exporter->text(sample(), TimelineAxis::Edited));
        const RenderPlan plan = RenderPlan::compute(sample(), facts);
        const auto at = [&](const char* name) {
            return framesOfTime(xml.attributes().value(QLatin1String(name)).toString(), num, den);
        };
        int clip = -1;
        QList<qint64> mapped;
        while (!xml.atEnd()) {
            if (xml.readNext() != QXmlStreamReader::StartElement)
                continue;
            if (xml.name() == QLatin1String("asset-clip")) {
                const RenderPlan::Piece& piece = plan.pieces()[++clip];
                QCOMPARE(at("offset"), piece.outputStart);
                QCOMPARE(at("duration"), piece.outputFrames);
                if (piece.step == 1)
                    QCOMPARE(at("start"), piece.firstFrame);
            } else if (xml.name() == QLatin1String("timept")) {
                mapped << at("time") << at("value");
            }
        }
        QVERIFY2(!xml.hasError(), qPrintable(xml.errorString()));
        QCOMPARE(clip + 1, plan.pieces().size());
        const RenderPlan::Piece& sped = plan.pieces()[1];
        QCOMPARE(mapped, (QList<qint64>{0, sped.firstFrame, sped.outputFrames,
                                        sped.firstFrame + sped.outputFrames * sped.step}));
    }

    void xmlIsWellFormed_data() {
        QTest::addColumn<QString>("format");
        // Where the file names the clip, and whether it is a file URL there.
        QTest::addColumn<QString>("xpath");
        QTest::addColumn<bool>("url");
        QTest::newRow("mlt") << QStringLiteral("mlt")
                             << QStringLiteral("string(//producer[@id='clip']/property)") << false;
        QTest::newRow("fcpxml") << QStringLiteral("fcpxml")
                                << QStringLiteral("string(//media-rep/@src)") << true;
    }

    // xmllint, an independent XML parser, reads every file and the escaped clip name back.
    void xmlIsWellFormed() {
        QFETCH(QString, format);
        QFETCH(QString, xpath);
        QFETCH(bool, url);
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
            dump.start(QStringLiteral("xmllint"), {QStringLiteral("--xpath"), xpath, path});
            QVERIFY(dump.waitForFinished(30000));
            const QString named = QString::fromUtf8(dump.readAllStandardOutput()).trimmed();
            QCOMPARE(url ? QUrl(named).toLocalFile() : named, AwkwardSource);
        }
    }
};

QTEST_GUILESS_MAIN(EditorExportsTest)
#include "tst_editorexports.moc"
