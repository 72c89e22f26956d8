#include "timeline/TimelineData.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QtTest>

using namespace Tessaryn;

Q_DECLARE_METATYPE(Tessaryn::Classification)

class TimelineDataTest : public QObject {
    Q_OBJECT

private slots:
    void emptyObjectGivesDefaults() {
        const TimelineData d = TimelineData::fromJson(QJsonObject());
        QVERIFY(d.summary.isEmpty());
        QVERIFY(d.subject_details.isEmpty());
        QVERIFY(d.segments.isEmpty());
        QCOMPARE(d.total_source_duration, 0.0);
        QCOMPARE(d.total_edited_duration, 0.0);
    }

    void toleratesMistypedInput_data() {
        QTest::addColumn<QByteArray>("json");
        QTest::addColumn<int>("segmentCount");
        QTest::addColumn<double>("firstStart");
        QTest::addColumn<double>("firstSpeed");
        QTest::addColumn<QString>("summary");

        QTest::newRow("segments is a number")
            << QByteArray(R"({"segments": 5})") << 0 << 0.0 << 1.0 << QString();
        QTest::newRow("element is a string")
            << QByteArray(R"({"segments": ["x"]})") << 1 << 0.0 << 1.0 << QString();
        QTest::newRow("start as digits in a string")
            << QByteArray(R"({"segments": [{"source_start": "12", "source_end": 20}]})") << 1 << 0.0
            << 1.0 << QString();
        QTest::newRow("only the range")
            << QByteArray(R"({"segments": [{"source_start": 3.5, "source_end": 9}]})") << 1 << 3.5
            << 1.0 << QString();
        QTest::newRow("summary is a number")
            << QByteArray(R"({"summary": 42, "segments": []})") << 0 << 0.0 << 1.0 << QString();
        QTest::newRow("speed given")
            << QByteArray(R"({"summary": "s", "segments": [{"speed_factor": 0}]})") << 1 << 0.0
            << 0.0 << QString("s");
    }

    void toleratesMistypedInput() {
        QFETCH(QByteArray, json);
        QFETCH(int, segmentCount);
        QFETCH(double, firstStart);
        QFETCH(double, firstSpeed);
        QFETCH(QString, summary);

        const TimelineData d = TimelineData::fromJson(QJsonDocument::fromJson(json).object());
        QCOMPARE(d.segments.size(), segmentCount);
        QCOMPARE(d.summary, summary);
        if (segmentCount > 0) {
            const Segment& s = d.segments.first();
            QCOMPARE(s.source_start, firstStart);
            QCOMPARE(s.speed_factor, firstSpeed);
            QVERIFY(s.description.isEmpty());
            QCOMPARE(s.classification, Classification::Unclassified);
            QCOMPARE(s.edited_start, 0.0);
            QCOMPARE(s.edited_end, 0.0);
        }
    }

    void watchDetailsAlias_data() {
        QTest::addColumn<QByteArray>("json");
        QTest::addColumn<QString>("expected");
        QTest::newRow("alias used when subject empty")
            << QByteArray(R"({"subject_details": "", "watch_details": "caliber 2824"})")
            << "caliber 2824";
        QTest::newRow("alias used when subject absent")
            << QByteArray(R"({"watch_details": "caliber 2824"})") << "caliber 2824";
        QTest::newRow("subject wins")
            << QByteArray(R"({"subject_details": "gearbox", "watch_details": "caliber"})")
            << "gearbox";
    }

    void watchDetailsAlias() {
        QFETCH(QByteArray, json);
        QFETCH(QString, expected);
        QCOMPARE(TimelineData::fromJson(QJsonDocument::fromJson(json).object()).subject_details,
                 expected);
    }

    void roundTripReproducesEveryField() {
        TimelineData d;
        d.summary = QStringLiteral("Assembling a “gear” train, 100% done");
        d.subject_details = QStringLiteral("Movement\nwith two lines");
        d.total_source_duration = 1234.567890123;
        d.total_edited_duration = 0.1 + 0.2; // not exactly 0.3: must survive as written
        for (int i = 0; i < 3; ++i) {
            Segment s;
            s.source_start = i * 10.123456789;
            s.source_end = i * 10.123456789 + 7.000000001;
            s.description = QStringLiteral("step %1 — ünïcode").arg(i);
            s.classification =
                i == 1 ? Classification::RepetitiveAssembly : Classification::Milestone;
            s.speed_factor = i == 1 ? 10.0 : 1.0;
            s.edited_start = i / 3.0;
            s.edited_end = i / 3.0 + 1e-9;
            d.segments.append(s);
        }

        // Through text, as the stored file does.
        const QByteArray text = QJsonDocument(d.toJson()).toJson(QJsonDocument::Indented);
        QVERIFY(!text.contains("watch_details"));
        const TimelineData r = TimelineData::fromJson(QJsonDocument::fromJson(text).object());

        QCOMPARE(r.summary, d.summary);
        QCOMPARE(r.subject_details, d.subject_details);
        QCOMPARE(r.total_source_duration, d.total_source_duration);
        QCOMPARE(r.total_edited_duration, d.total_edited_duration);
        QCOMPARE(r.segments.size(), d.segments.size());
        for (int i = 0; i < d.segments.size(); ++i) {
            const Segment& a = d.segments.at(i);
            const Segment& b = r.segments.at(i);
            QCOMPARE(b.source_start, a.source_start);
            QCOMPARE(b.source_end, a.source_end);
            QCOMPARE(b.description, a.description);
            QCOMPARE(b.classification, a.classification);
            QCOMPARE(b.speed_factor, a.speed_factor);
            QCOMPARE(b.edited_start, a.edited_start);
            QCOMPARE(b.edited_end, a.edited_end);
        }
    }

    void writesAllKeys() {
        TimelineData d;
        d.segments.append(Segment());
        const QJsonObject o = d.toJson();
        for (const char* key : {"summary", "subject_details", "total_source_duration",
                                "total_edited_duration", "segments"})
            QVERIFY2(o.contains(QLatin1String(key)), key);
        const QJsonObject s = o.value("segments").toArray().first().toObject();
        for (const char* key : {"source_start", "source_end", "description", "classification",
                                "speed_factor", "edited_start", "edited_end"})
            QVERIFY2(s.contains(QLatin1String(key)), key);
    }
    // Words are translated at the JSON edge: exact words only, nothing or an empty word is
    // unclassified (and stays so for the computation to decide), anything else a milestone.
    void classificationWords_data() {
        QTest::addColumn<QJsonValue>("stored");
        QTest::addColumn<Classification>("read");
        QTest::addColumn<QString>("written");
        QTest::newRow("milestone")
            << QJsonValue("milestone") << Classification::Milestone << "milestone";
        QTest::newRow("repetitive") << QJsonValue("repetitive_assembly")
                                    << Classification::RepetitiveAssembly << "repetitive_assembly";
        QTest::newRow("pause") << QJsonValue("static_pause") << Classification::StaticPause
                               << "static_pause";
        QTest::newRow("empty word") << QJsonValue("") << Classification::Unclassified << "";
        QTest::newRow("missing") << QJsonValue(QJsonValue::Undefined)
                                 << Classification::Unclassified << "";
        QTest::newRow("not a string") << QJsonValue(3) << Classification::Unclassified << "";
        QTest::newRow("other case")
            << QJsonValue("Static_Pause") << Classification::Milestone << "milestone";
        QTest::newRow("unknown word")
            << QJsonValue("custom_word") << Classification::Milestone << "milestone";
    }

    void classificationWords() {
        QFETCH(QJsonValue, stored);
        QFETCH(Classification, read);
        QFETCH(QString, written);
        QJsonObject segment{{"source_start", 1.0}};
        if (!stored.isUndefined())
            segment.insert("classification", stored);
        const TimelineData data = TimelineData::fromJson({{"segments", QJsonArray{segment}}});
        QCOMPARE(data.segments.size(), 1);
        QCOMPARE(data.segments.at(0).classification, read);
        const QJsonObject back = data.toJson().value("segments").toArray().at(0).toObject();
        QCOMPARE(back.value("classification"), QJsonValue(written));
    }
};

QTEST_GUILESS_MAIN(TimelineDataTest)
#include "tst_timelinedata.moc"
