// Drives the Gemini client against a loopback stand-in for the service: the requests on the
// wire, every way an analysis can end, and the one report each analysis owes its owner.
#include "GeminiStandIn.h"
#include "TestSupport.h"
#include "ai/GeminiClient.h"
#include "timeline/TimelineCheck.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>
#include <tuple>

using namespace Tessaryn;

namespace {

const QString Key = QStringLiteral("AIzaSyTopSecret_Key-123");

QByteArray json(const QJsonObject& object) {
    return QJsonDocument(object).toJson(QJsonDocument::Compact);
}

CannedAnswer uploaded(const QString& state, const QString& name = "files/abc123") {
    return {200, json({{"file", QJsonObject{{"name", name},
                                            {"uri", "https://files.example/" + name},
                                            {"state", state}}}})};
}

CannedAnswer polled(const QString& state) {
    return {200, json({{"name", "files/abc123"}, {"state", state}})};
}

CannedAnswer analysed(const QString& text, const QJsonObject& usage = {}) {
    QJsonObject answer{
        {"candidates",
         QJsonArray{QJsonObject{
             {"content", QJsonObject{{"parts", QJsonArray{QJsonObject{{"text", text}}}}}}}}}};
    if (!usage.isEmpty())
        answer.insert("usageMetadata", usage);
    return {200, json(answer)};
}

QString timelineText(double lastEnd = 30.0, double firstStart = 0.0) {
    QJsonArray segments;
    const auto add = [&segments](double start, double end, const char* kind) {
        segments.append(QJsonObject{{"source_start", start},
                                    {"source_end", end},
                                    {"description", QString("part ") + kind},
                                    {"classification", kind}});
    };
    add(firstStart, 5, "milestone");
    add(5, 25, "repetitive_assembly");
    add(25, lastEnd, "static_pause");
    return QString::fromUtf8(json({{"summary", "Bench assembly"},
                                   {"subject_details", "A workbench"},
                                   {"segments", segments}}));
}

// Everything the client tells its owner, in order.
struct Recorder {
    QStringList events;
    QList<int> uploadPercents;
    int finishedCount = 0;
    bool success = false;
    QString message;
    TimelineData timeline;

    void attach(GeminiClient& client) {
        client.progressCallback = [this](const QString& text, int percent) {
            if (text.startsWith("Uploading footage"))
                uploadPercents.append(percent);
            events << QString("progress %1 %2").arg(percent).arg(text);
        };
        client.usageCallback = [this](qint64 prompt, qint64 answer) {
            events << QString("usage %1 %2").arg(prompt).arg(answer);
        };
        client.finishedCallback = [this](bool ok, const TimelineData& data, const QString& text) {
            ++finishedCount;
            success = ok;
            timeline = data;
            message = text;
            events << QString("finished %1").arg(ok);
        };
    }
    bool waitFinished(int ms = 10000) {
        return waitUntil([this] { return finishedCount > 0; }, ms);
    }
};

} // namespace

class GeminiClientTest : public QObject {
    Q_OBJECT

private:
    QTemporaryDir dir;
    QString clip;
    QByteArray clipBytes;

    // A client pointed at the stand-in, with short waits.
    static void prepare(GeminiClient& client, const GeminiStandIn& server) {
        client.setBaseUrl(server.baseUrl());
        client.setPollInterval(10);
    }

private slots:
    void initTestCase() {
        QVERIFY(dir.isValid());
        clipBytes.resize(3 * 1024 * 1024 + 17);
        for (qsizetype i = 0; i < clipBytes.size(); ++i)
            clipBytes[i] = char(QRandomGenerator::global()->bounded(256));
        clip = dir.filePath("clip.mp4");
        QVERIFY(TestSupport::writeFile(clip, clipBytes));
    }

    void fullAnalysisSendsTheProtocolsRequests() {
        GeminiStandIn server;
        QVERIFY(server.start());
        server.answers = {
            uploaded("PROCESSING"), polled("active"), polled("PROCESSING"), polled("ACTIVE"),
            analysed(timelineText(), {{"promptTokenCount", 1200}, {"candidatesTokenCount", 350}})};
        // The base URL comes from the deployment's environment.
        qputenv("TESSARYN_GEMINI_BASE_URL", (server.baseUrl() + "/").toUtf8());
        GeminiClient client;
        qunsetenv("TESSARYN_GEMINI_BASE_URL");
        QCOMPARE(client.getBaseUrl(), server.baseUrl());
        client.setPollInterval(10);
        Recorder recorder;
        recorder.attach(client);

        client.analyzeVideo(clip, "  " + Key + "  ", "   ");
        QVERIFY(client.isBusy());
        QVERIFY(recorder.waitFinished());
        QVERIFY2(recorder.success, qPrintable(recorder.message));
        QVERIFY(!client.isBusy());

        QCOMPARE(server.requests.size(), 5);
        const RecordedRequest& upload = server.requests[0];
        QCOMPARE(upload.method, "POST");
        QCOMPARE(upload.target, "/upload/v1beta/files?key=" + Key.toUtf8());
        QCOMPARE(upload.headers.value("content-type"), "video/mp4");
        QCOMPARE(upload.headers.value("x-goog-upload-command"), "start, upload, finalize");
        QCOMPARE(upload.headers.value("x-goog-upload-header-content-length"),
                 QByteArray::number(clipBytes.size()));
        QCOMPARE(upload.headers.value("x-goog-upload-header-content-type"), "video/mp4");
        QVERIFY(upload.body == clipBytes);
        for (int i = 1; i <= 3; ++i) {
            QCOMPARE(server.requests[i].method, "GET");
            QCOMPARE(server.requests[i].target, "/v1beta/files/abc123?key=" + Key.toUtf8());
        }

        const RecordedRequest& analysis = server.requests[4];
        QCOMPARE(analysis.method, "POST");
        QCOMPARE(analysis.target,
                 "/v1beta/models/gemini-3.8-flash:generateContent?key=" + Key.toUtf8());
        QCOMPARE(analysis.headers.value("content-type"), "application/json");
        const QString prompt = GeminiClient::analysisPrompt();
        QCOMPARE(prompt.size(), 863);
        QCOMPARE(prompt.split('\n').size(), 18);
        QVERIFY(prompt.startsWith("You are an expert AI video editor and scene analyst."));
        QVERIFY(prompt.contains("\n      \"classification\": \"milestone\" | "
                                "\"repetitive_assembly\" | \"static_pause\"\n    }\n  ]\n}"));
        const QJsonObject expected{
            {"contents",
             QJsonArray{QJsonObject{
                 {"parts",
                  QJsonArray{
                      QJsonObject{{"fileData",
                                   QJsonObject{{"fileUri", "https://files.example/files/abc123"},
                                               {"mimeType", "video/mp4"}}}},
                      QJsonObject{{"text", prompt}}}}}}},
            {"generationConfig", QJsonObject{{"responseMimeType", "application/json"}}}};
        QCOMPARE(analysis.body, QJsonDocument(expected).toJson(QJsonDocument::Indented));

        const QStringList& events = recorder.events;
        QCOMPARE(events.first(), "progress 5 Initiating video upload to Gemini File API...");
        QVERIFY(events.contains("progress 52 Processing video on Gemini server..."));
        QCOMPARE(events.count("progress 55 Waiting for Gemini video encoding..."), 2);
        QVERIFY(events.contains("progress 60 Video ready. Analyzing scene segments..."));
        QCOMPARE(events.mid(events.size() - 3),
                 QStringList({"usage 1200 350", "progress 100 Milestone analysis complete!",
                              "finished 1"}));
        QVERIFY(!recorder.uploadPercents.isEmpty());
        QVERIFY(std::is_sorted(recorder.uploadPercents.begin(), recorder.uploadPercents.end()));
        QVERIFY(recorder.uploadPercents.first() >= 5);
        QCOMPARE(recorder.uploadPercents.last(), 50);
        QVERIFY(events.contains("progress 50 Uploading footage (3 MB)..."));

        const TimelineData& timeline = recorder.timeline;
        QCOMPARE(timeline.summary, "Bench assembly");
        QCOMPARE(timeline.segments.size(), 3);
        // The model's reading as it came; the edit settings are applied by the pipeline.
        QCOMPARE(timeline.segments[1].source_start, 5.0);
        QCOMPARE(timeline.segments[1].source_end, 25.0);
        QCOMPARE(timeline.segments[2].source_end, 30.0);
        QCOMPARE(timeline.segments[1].speed_factor, 1.0);
        QCOMPARE(recorder.finishedCount, 1);
    }

    void failuresEndWithOneReport_data() {
        QTest::addColumn<QList<CannedAnswer>>("answers");
        QTest::addColumn<QString>("message");
        QTest::addColumn<QString>("usage"); // "" when no usage may be reported

        const CannedAnswer active = uploaded("ACTIVE");
        const QString noFile = "Gemini upload answer did not identify the uploaded file.";
        const QString badSchema = "Model did not return valid JSON schema";
        const QString badTime = "Gemini returned an invalid time in segment %1.";
        const CannedAnswer candidateWithoutParts{
            200, json({{"candidates", QJsonArray{QJsonObject{{"content", QJsonObject{}}}}}})};

        QTest::newRow("upload refused") << QList<CannedAnswer>{{500, "{}"}} << "Upload failed: "
                                        << "";
        QTest::newRow("upload answer not JSON")
            << QList<CannedAnswer>{{200, "<html>"}} << noFile << "";
        QTest::newRow("upload answer without a name")
            << QList<CannedAnswer>{{200, R"({"file":{"uri":"u","state":"PROCESSING"}})"}} << noFile
            << "";
        QTest::newRow("upload answer naming another path")
            << QList<CannedAnswer>{uploaded("PROCESSING", "files/../models/x")} << noFile << "";
        QTest::newRow("poll refused")
            << QList<CannedAnswer>{uploaded("PROCESSING"), {404, "{}"}} << "Poll failed: "
            << "";
        QTest::newRow("processing failed")
            << QList<CannedAnswer>{uploaded("PROCESSING"), polled("PROCESSING"), polled("FAILED")}
            << "Gemini video processing failed on server."
            << "";
        QTest::newRow("analysis refused")
            << QList<CannedAnswer>{active, {500, "{}"}} << "Gemini analysis error: "
            << "";
        QTest::newRow("answer not JSON")
            << QList<CannedAnswer>{active, {200, "Sorry."}} << "Invalid response JSON from Gemini"
            << "";
        QTest::newRow("no candidates, no usage")
            << QList<CannedAnswer>{active, {200, "{}"}} << "No candidate content returned by Gemini"
            << "usage 0 0";
        QTest::newRow("empty candidates with usage")
            << QList<CannedAnswer>{active,
                                   {200, R"({"candidates":[],"usageMetadata":)"
                                         R"({"promptTokenCount":7,"candidatesTokenCount":3}})"}}
            << "No candidate content returned by Gemini"
            << "usage 7 3";
        QTest::newRow("no parts") << QList<CannedAnswer>{active, candidateWithoutParts}
                                  << "No text content in candidate response"
                                  << "usage 0 0";
        QTest::newRow("fenced model text")
            << QList<CannedAnswer>{active, analysed("```json\n" + timelineText() + "\n```")}
            << badSchema << "usage 0 0";
        QTest::newRow("model text is an array")
            << QList<CannedAnswer>{active, analysed("[1, 2]")} << badSchema << "usage 0 0";
        QTest::newRow("no segments")
            << QList<CannedAnswer>{active, analysed(R"({"summary":"x","segments":[]})")}
            << "Gemini returned no segments for this video."
            << "usage 0 0";
        QTest::newRow("absurd time") << QList<CannedAnswer>{active, analysed(timelineText(1e12))}
                                     << badTime.arg(3) << "usage 0 0";
        const QString untyped = "Gemini returned segment %1 without numeric start and end times.";
        QTest::newRow("time as text")
            << QList<CannedAnswer>{active, analysed(QString(timelineText())
                                                        .replace("\"source_end\":25",
                                                                 "\"source_end\":\"25\""))}
            << untyped.arg(2) << "usage 0 0";
        QTest::newRow("time left out")
            << QList<CannedAnswer>{active, analysed(R"({"segments":[{"source_end":4}]})")}
            << untyped.arg(1) << "usage 0 0";
        QJsonArray many;
        for (int i = 0; i <= TimelineCheck::MaxSegments; ++i)
            many.append(QJsonObject{{"source_start", i}, {"source_end", i + 1}});
        QTest::newRow("absurd segment count")
            << QList<CannedAnswer>{active, analysed(QString::fromUtf8(json({{"segments", many}})))}
            << "Gemini returned 5001 segments; more than 5000 is not a reading of one clip."
            << "usage 0 0";
        QTest::newRow("negative time")
            << QList<CannedAnswer>{active, analysed(timelineText(30, -3))} << badTime.arg(1)
            << "usage 0 0";
    }

    void failuresEndWithOneReport() {
        QFETCH(QList<CannedAnswer>, answers);
        QFETCH(QString, message);
        QFETCH(QString, usage);
        GeminiStandIn server;
        QVERIFY(server.start());
        server.answers = answers;
        GeminiClient client;
        prepare(client, server);
        Recorder recorder;
        recorder.attach(client);

        client.analyzeVideo(clip, Key, "gemini-3.8-flash");
        QVERIFY(recorder.waitFinished());
        QTest::qWait(50);
        QCOMPARE(recorder.finishedCount, 1);
        QVERIFY(!recorder.success);
        QVERIFY(recorder.timeline.segments.isEmpty());
        QVERIFY(recorder.timeline.summary.isEmpty());
        if (message.endsWith(": ")) {
            QVERIFY2(recorder.message.startsWith(message), qPrintable(recorder.message));
            QVERIFY(recorder.message.size() > message.size());
        } else {
            QCOMPARE(recorder.message, message);
        }
        const QStringList usageEvents = recorder.events.filter(QRegularExpression("^usage "));
        QCOMPARE(usageEvents, usage.isEmpty() ? QStringList() : QStringList{usage});
        if (!usage.isEmpty())
            QCOMPARE(recorder.events.indexOf(usage), recorder.events.size() - 2);
        QVERIFY(server.answers.isEmpty());
    }

    void keyNeverInMessages_data() {
        QTest::addColumn<QList<CannedAnswer>>("answers");
        QTest::addColumn<QString>("prefix");
        QTest::newRow("upload 400")
            << QList<CannedAnswer>{{400, R"({"error":"bad key"})"}} << "Upload failed: ";
        QTest::newRow("analysis 500")
            << QList<CannedAnswer>{uploaded("ACTIVE"), {500, "{}"}} << "Gemini analysis error: ";
    }

    void keyNeverInMessages() {
        QFETCH(QList<CannedAnswer>, answers);
        QFETCH(QString, prefix);
        GeminiStandIn server;
        QVERIFY(server.start());
        server.answers = answers;
        GeminiClient client;
        prepare(client, server);
        Recorder recorder;
        recorder.attach(client);

        client.analyzeVideo(clip, Key, "gemini-3.8-flash");
        QVERIFY(recorder.waitFinished());
        QVERIFY2(recorder.message.startsWith(prefix), qPrintable(recorder.message));
        QVERIFY2(!recorder.message.contains(Key), qPrintable(recorder.message));
        QVERIFY2(!recorder.message.contains("TopSecret"), qPrintable(recorder.message));
        // Qt's text names the URL; its key is masked, the rest stays for diagnosis.
        QVERIFY2(recorder.message.contains("key=***"), qPrintable(recorder.message));
    }

    void inputsCheckedBeforeAnyRequest_data() {
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("model");
        QTest::addColumn<QString>("message");
        QTest::newRow("blank key") << "   "
                                   << "clip"
                                   << ""
                                   << "Gemini API key is not configured.";
        const QString missing = QDir::temp().filePath("no-such-tessaryn-clip.mp4");
        QTest::newRow("missing clip") << Key << missing << ""
                                      << "Video file not found: " + missing;
        QTest::newRow("unreadable clip (a folder)") << Key << "folder"
                                                    << ""
                                                    << "Unable to read video file for upload.";
        QTest::newRow("model name leaving its path") << Key << "clip"
                                                     << "x?alt=1"
                                                     << "Gemini model name is not valid: x?alt=1";
    }

    void inputsCheckedBeforeAnyRequest() {
        QFETCH(QString, key);
        QFETCH(QString, path);
        QFETCH(QString, model);
        QFETCH(QString, message);
        if (path == "clip")
            path = clip;
        else if (path == "folder")
            path = dir.path();
        GeminiStandIn server;
        QVERIFY(server.start());
        GeminiClient client;
        prepare(client, server);
        Recorder recorder;
        recorder.attach(client);

        client.analyzeVideo(path, key, model);
        QCOMPARE(recorder.finishedCount, 1);
        QCOMPARE(recorder.message, message);
        QVERIFY(!client.isBusy());
        QTest::qWait(50);
        QCOMPARE(server.requests.size(), 0);
        QCOMPARE(recorder.finishedCount, 1);
    }

    // Cancel in each stage, and the limits that end a stage nobody answers.
    void eachStageEndsOnce_data() {
        QTest::addColumn<QList<CannedAnswer>>("answers");
        QTest::addColumn<int>("requestsBefore"); // cancel once the stand-in has these; -1: wait
        QTest::addColumn<QString>("shortLimit"); // the one limit made short for the row
        QTest::addColumn<QString>("message");
        const CannedAnswer hold{200, "", true};
        const CannedAnswer processing = uploaded("PROCESSING");
        const CannedAnswer active = uploaded("ACTIVE");

        QTest::newRow("cancel upload") << QList<CannedAnswer>{hold} << 1 << ""
                                       << "Upload failed: Operation canceled";
        QTest::newRow("cancel while waiting to poll") << QList<CannedAnswer>{processing} << 1 << ""
                                                      << "Poll failed: Operation canceled";
        QTest::newRow("cancel poll") << QList<CannedAnswer>{processing, hold} << 2 << ""
                                     << "Poll failed: Operation canceled";
        QTest::newRow("cancel analysis") << QList<CannedAnswer>{active, hold} << 2 << ""
                                         << "Gemini analysis error: Operation canceled";
        QTest::newRow("upload stalls") << QList<CannedAnswer>{hold} << -1 << "upload"
                                       << "Upload failed: No data sent or received for 0.3 seconds";
        QTest::newRow("poll unanswered") << QList<CannedAnswer>{processing, hold} << -1 << "poll"
                                         << "Poll failed: No answer within 0.3 seconds";
        QTest::newRow("analysis unanswered")
            << QList<CannedAnswer>{active, hold} << -1 << "analysis"
            << "Gemini analysis error: No answer within 0.3 seconds";
        QTest::newRow("processing never ends")
            << QList<CannedAnswer>{processing} << -1 << "polling time"
            << "Gemini video processing did not finish within 0.0025 minutes.";
        QTest::newRow("answer too large")
            << QList<CannedAnswer>{active, analysed(QString(3000, 'x'))} << -1 << "size"
            << "Gemini analysis error: Answer larger than 1000 bytes";
    }

    void eachStageEndsOnce() {
        QFETCH(QList<CannedAnswer>, answers);
        QFETCH(int, requestsBefore);
        QFETCH(QString, shortLimit);
        QFETCH(QString, message);
        GeminiStandIn server;
        QVERIFY(server.start());
        server.answers = answers;
        server.whenEmpty = polled("PROCESSING");
        GeminiClient client;
        prepare(client, server);
        const auto limit = [&](const char* name) { return shortLimit == name ? 300 : 30000; };
        client.setRequestTimeouts(limit("upload"), limit("poll"), limit("analysis"));
        if (shortLimit == "polling time")
            client.setPollTimeLimit(150);
        if (shortLimit == "size")
            client.setMaxAnswerBytes(1000);
        const bool waiting = QByteArray(QTest::currentDataTag()).contains("waiting");
        if (waiting)
            client.setPollInterval(60000);
        Recorder recorder;
        recorder.attach(client);

        client.analyzeVideo(clip, Key, "gemini-3.8-flash");
        if (requestsBefore > 0) {
            QVERIFY(waitUntil([&] {
                return server.requests.size() >= requestsBefore &&
                       (!waiting || recorder.events.last().startsWith("progress 52"));
            }));
            QTest::qWait(20);
            QCOMPARE(recorder.finishedCount, 0);
            client.cancel();
            QCOMPARE(recorder.finishedCount, 1);
        }
        QVERIFY(recorder.waitFinished());
        QCOMPARE(recorder.message, message);
        QVERIFY(!client.isBusy());
        client.cancel();
        QTest::qWait(100);
        QCOMPARE(recorder.finishedCount, 1);
    }

    // A new analysis, or one the owner's failure handler starts, ends the running one first;
    // the old analysis's scheduled poll never reaches the new one.
    void newAnalysisReplacesRunningOne_data() {
        QTest::addColumn<bool>("fromFailureHandler");
        QTest::newRow("analyzeVideo while busy") << false;
        QTest::newRow("started by the cancelled job's handler") << true;
    }

    void newAnalysisReplacesRunningOne() {
        QFETCH(bool, fromFailureHandler);
        GeminiStandIn server;
        QVERIFY(server.start());
        server.answers = {uploaded("PROCESSING", "files/old"), uploaded("ACTIVE", "files/new"),
                          analysed(timelineText())};
        GeminiClient client;
        prepare(client, server);
        client.setPollInterval(150);
        QStringList reports;
        bool waitingToPoll = false;
        client.progressCallback = [&](const QString&, int percent) {
            waitingToPoll = percent == 52;
        };
        client.finishedCallback = [&](bool ok, const TimelineData&, const QString& text) {
            reports << QString("%1 %2").arg(ok).arg(text);
            if (fromFailureHandler && !ok)
                client.analyzeVideo(clip, Key, "");
        };

        client.analyzeVideo(clip, Key, "");
        QVERIFY(waitUntil([&] { return waitingToPoll; }));
        if (fromFailureHandler)
            client.cancel();
        else
            client.analyzeVideo(clip, Key, "");
        QCOMPARE(reports, QStringList{"0 Poll failed: Operation canceled"});
        QVERIFY(client.isBusy());
        QVERIFY(waitUntil([&] { return reports.size() == 2; }));
        QTest::qWait(400); // well past the old analysis's poll time
        QCOMPARE(reports, QStringList({"0 Poll failed: Operation canceled", "1 "}));
        QCOMPARE(server.requests.size(), 3);
        for (const RecordedRequest& request : server.requests)
            QVERIFY(!request.path().endsWith("files/old"));
    }

    void destroyingTheClientReportsNothing() {
        GeminiStandIn server;
        QVERIFY(server.start());
        server.answers = {{200, "", true}};
        auto client = std::make_unique<GeminiClient>();
        prepare(*client, server);
        int calls = 0;
        client->finishedCallback = [&](bool, const TimelineData&, const QString&) { ++calls; };
        client->progressCallback = [&](const QString&, int) { ++calls; };
        client->analyzeVideo(clip, Key, "");
        QVERIFY(waitUntil([&] { return server.requests.size() == 1; }));
        calls = 0;
        client.reset();
        QTest::qWait(50);
        QCOMPARE(calls, 0);
    }
};

QTEST_GUILESS_MAIN(GeminiClientTest)
#include "tst_geminiclient.moc"
