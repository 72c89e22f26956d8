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

// The start request's answer, then the answer to the clip's one chunk.
QList<CannedAnswer> upload(const CannedAnswer& file) {
    return {CannedAnswer::uploadStarted(), file};
}

CannedAnswer chunkTaken() {
    return {200, "", false, {{"X-Goog-Upload-Status", "active"}}};
}

CannedAnswer serviceError(int status, const QString& word, const QString& message,
                          const QJsonArray& details = {}) {
    QJsonObject error{{"code", status}, {"message", message}, {"status", word}};
    if (!details.isEmpty())
        error.insert("details", details);
    return {status, json({{"error", error}})};
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

QByteArray candidate(const QJsonArray& parts, const QString& finishReason) {
    return json({{"candidates", QJsonArray{QJsonObject{{"content", QJsonObject{{"parts", parts}}},
                                                       {"finishReason", finishReason}}}}});
}

QJsonObject textPart(const QString& text, bool thought = false) {
    QJsonObject part{{"text", text}};
    if (thought)
        part.insert("thought", true);
    return part;
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
        client.setRetryPolicy(3, 5, 2000);
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
            CannedAnswer::uploadStarted(),
            chunkTaken(),
            chunkTaken(),
            chunkTaken(),
            uploaded("PROCESSING"),
            polled("active"),
            polled("PROCESSING"),
            polled("ACTIVE"),
            analysed(timelineText(), {{"promptTokenCount", 1200}, {"candidatesTokenCount", 350}})};
        // The base URL comes from the deployment's environment.
        qputenv("TESSARYN_GEMINI_BASE_URL", (server.baseUrl() + "/").toUtf8());
        GeminiClient client;
        qunsetenv("TESSARYN_GEMINI_BASE_URL");
        QCOMPARE(client.getBaseUrl(), server.baseUrl());
        client.setPollInterval(10);
        client.setChunkBytes(1024 * 1024);
        Recorder recorder;
        recorder.attach(client);

        client.analyzeVideo(clip, "  " + Key + "  ", "   ");
        QVERIFY(client.isBusy());
        QVERIFY(recorder.waitFinished());
        QVERIFY2(recorder.success, qPrintable(recorder.message));
        QVERIFY(!client.isBusy());
        QVERIFY(waitUntil([&] { return server.count("DELETE") == 1; }));

        // start, four chunks, three polls, the analysis, then the clean-up
        QCOMPARE(server.requests.size(), 10);
        for (const RecordedRequest& request : server.requests) {
            QVERIFY2(!request.target.contains("key="), request.target.constData());
            QCOMPARE(request.headers.value("x-goog-api-key"), Key.toUtf8());
        }
        const RecordedRequest& start = server.requests[0];
        QCOMPARE(start.method, "POST");
        QCOMPARE(start.target, "/upload/v1beta/files");
        QCOMPARE(start.headers.value("x-goog-upload-protocol"), "resumable");
        QCOMPARE(start.headers.value("x-goog-upload-command"), "start");
        QCOMPARE(start.headers.value("x-goog-upload-header-content-length"),
                 QByteArray::number(clipBytes.size()));
        QCOMPARE(start.headers.value("x-goog-upload-header-content-type"), "video/mp4");
        QCOMPARE(start.headers.value("content-type"), "application/json");
        QCOMPARE(QJsonDocument::fromJson(start.body).object(),
                 QJsonObject({{"file", QJsonObject{{"display_name", "clip.mp4"}}}}));
        const qint64 mib = 1024 * 1024;
        for (int i = 0; i < 4; ++i) {
            const RecordedRequest& chunk = server.requests[1 + i];
            QCOMPARE(chunk.method, "POST");
            QCOMPARE(chunk.target, "/upload/v1beta/files?upload_id=up1");
            QCOMPARE(chunk.headers.value("x-goog-upload-offset"), QByteArray::number(i * mib));
            QCOMPARE(chunk.headers.value("x-goog-upload-command"),
                     i < 3 ? "upload" : "upload, finalize");
            QVERIFY(chunk.body == clipBytes.mid(i * mib, mib));
        }
        for (int i = 5; i <= 7; ++i) {
            QCOMPARE(server.requests[i].method, "GET");
            QCOMPARE(server.requests[i].target, "/v1beta/files/abc123");
        }

        const RecordedRequest& analysis = server.requests[8];
        QCOMPARE(analysis.method, "POST");
        QCOMPARE(analysis.target, "/v1beta/models/gemini-3.8-flash:generateContent");
        QCOMPARE(analysis.headers.value("content-type"), "application/json");
        const QString prompt = GeminiClient::analysisPrompt();
        QCOMPARE(prompt.size(), 863);
        QCOMPARE(prompt.split('\n').size(), 18);
        QVERIFY(prompt.startsWith("You are an expert AI video editor and scene analyst."));
        QVERIFY(prompt.contains("\n      \"classification\": \"milestone\" | "
                                "\"repetitive_assembly\" | \"static_pause\"\n    }\n  ]\n}"));
        const QJsonArray expectedParts{
            QJsonObject{{"fileData", QJsonObject{{"fileUri", "https://files.example/files/abc123"},
                                                 {"mimeType", "video/mp4"}}}},
            QJsonObject{{"text", prompt}}};
        const QJsonObject sent = QJsonDocument::fromJson(analysis.body).object();
        const QJsonArray expectedContents{QJsonObject{{"parts", expectedParts}}};
        QCOMPARE(sent.value("contents").toArray(), expectedContents);
        const QJsonObject config = sent.value("generationConfig").toObject();
        QCOMPARE(config.value("responseMimeType").toString(), "application/json");
        const QJsonObject schema = config.value("responseSchema").toObject();
        const QJsonArray topFields{"summary", "subject_details", "segments"};
        QCOMPARE(schema.value("required").toArray(), topFields);
        const QJsonArray kinds{"milestone", "repetitive_assembly", "static_pause"};
        QCOMPARE(schema["properties"]["segments"]["items"]["properties"]["classification"]["enum"]
                     .toArray(),
                 kinds);

        const RecordedRequest& removal = server.requests[9];
        QCOMPARE(removal.method, "DELETE");
        QCOMPARE(removal.target, "/v1beta/files/abc123");

        const QStringList& events = recorder.events;
        QCOMPARE(events.first(), "progress 5 Initiating video upload to Gemini File API...");
        QVERIFY(events.contains("progress 52 Processing video on Gemini server..."));
        QCOMPARE(events.count("progress 55 Waiting for Gemini video encoding..."), 2);
        QVERIFY(events.contains("progress 60 Video ready. Analyzing scene segments..."));
        QCOMPARE(events.mid(events.size() - 3),
                 QStringList({"usage 1200 350", "progress 100 Milestone analysis complete!",
                              "finished 1"}));
        QVERIFY(!recorder.uploadPercents.isEmpty());
        QVERIFY2(std::is_sorted(recorder.uploadPercents.begin(), recorder.uploadPercents.end()),
                 qPrintable(recorder.events.join('\n')));
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

        const QList<CannedAnswer> active = upload(uploaded("ACTIVE"));
        const auto after = [](QList<CannedAnswer> first, const QList<CannedAnswer>& then) {
            return first + then;
        };
        const QString noFile = "Gemini upload answer did not identify the uploaded file.";
        const QString badSchema = "Model did not return valid JSON schema";
        const QString badTime = "Gemini returned an invalid time in segment %1.";
        const CannedAnswer candidateWithoutParts{
            200, json({{"candidates", QJsonArray{QJsonObject{{"content", QJsonObject{}}}}}})};

        QTest::newRow("upload refused") << QList<CannedAnswer>{{400, "{}"}} << "Upload failed: "
                                        << "";
        QTest::newRow("chunk refused")
            << upload({403, "{}"})
            << "Upload failed: HTTP 403. The API key is not allowed to do "
               "this; check it in Settings."
            << "";
        QTest::newRow("start answer without an upload address")
            << QList<CannedAnswer>{{200, "{}"}}
            << "Upload failed: Gemini did not give an upload address on its own host."
            << "";
        QTest::newRow("upload address on another host")
            << QList<CannedAnswer>{{200, "", false, {{"X-Goog-Upload-URL", "http://10.9.9.9/u"}}}}
            << "Upload failed: Gemini did not give an upload address on its own host."
            << "";
        QTest::newRow("upload answer not JSON") << upload({200, "<html>"}) << noFile << "";
        QTest::newRow("upload answer without a name")
            << upload({200, R"({"file":{"uri":"u","state":"PROCESSING"}})"}) << noFile << "";
        QTest::newRow("upload answer naming another path")
            << upload(uploaded("PROCESSING", "files/../models/x")) << noFile << "";
        QTest::newRow("poll refused")
            << after(upload(uploaded("PROCESSING")), {{404, "{}"}}) << "Poll failed: "
            << "";
        QTest::newRow("processing failed")
            << after(upload(uploaded("PROCESSING")), {polled("PROCESSING"), polled("FAILED")})
            << "Gemini video processing failed on server."
            << "";
        QTest::newRow("processing failed with the service's reason")
            << after(upload(uploaded("PROCESSING")),
                     {{200, R"({"state":"FAILED","error":{"message":"Unsupported codec"}})"}})
            << "Gemini video processing failed on server: Unsupported codec"
            << "";
        QTest::newRow("analysis refused")
            << after(active, {{400, "{}"}}) << "Gemini analysis error: "
            << "";
        QTest::newRow("answer not JSON")
            << after(active, {{200, "Sorry."}}) << "Invalid response JSON from Gemini"
            << "";
        QTest::newRow("no candidates, no usage")
            << after(active, {{200, "{}"}}) << "No candidate content returned by Gemini"
            << "usage 0 0";
        QTest::newRow("empty candidates with usage")
            << after(active, {{200, R"({"candidates":[],"usageMetadata":)"
                                    R"({"promptTokenCount":7,"candidatesTokenCount":3}})"}})
            << "No candidate content returned by Gemini"
            << "usage 7 3";
        QTest::newRow("no parts") << after(active, {candidateWithoutParts})
                                  << "No text content in candidate response"
                                  << "usage 0 0";
        QTest::newRow("model text is an array")
            << after(active, {analysed("[1, 2]")}) << badSchema << "usage 0 0";
        QTest::newRow("no segments")
            << after(active, {analysed(R"({"summary":"x","segments":[]})")})
            << "Gemini returned no segments for this video."
            << "usage 0 0";
        QTest::newRow("absurd time")
            << after(active, {analysed(timelineText(1e12))}) << badTime.arg(3) << "usage 0 0";
        const QString untyped = "Gemini returned segment %1 without numeric start and end times.";
        QTest::newRow("time as text")
            << after(active, {analysed(QString(timelineText())
                                           .replace("\"source_end\":25", "\"source_end\":\"25\""))})
            << untyped.arg(2) << "usage 0 0";
        QTest::newRow("time left out")
            << after(active, {analysed(R"({"segments":[{"source_end":4}]})")}) << untyped.arg(1)
            << "usage 0 0";
        QJsonArray many;
        for (int i = 0; i <= TimelineCheck::MaxSegments; ++i)
            many.append(QJsonObject{{"source_start", i}, {"source_end", i + 1}});
        QTest::newRow("absurd segment count")
            << after(active, {analysed(QString::fromUtf8(json({{"segments", many}})))})
            << "Gemini returned 5001 segments; more than 5000 is not a reading of one clip."
            << "usage 0 0";
        QTest::newRow("negative time")
            << after(active, {analysed(timelineText(30, -3))}) << badTime.arg(1) << "usage 0 0";
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

    // The key travels in a header only; no URL and no message carries it.
    void keyNeverInUrlsOrMessages_data() {
        QTest::addColumn<QList<CannedAnswer>>("answers");
        QTest::addColumn<QString>("prefix");
        QTest::newRow("start 400")
            << QList<CannedAnswer>{{400, R"({"error":"bad key"})"}} << "Upload failed: ";
        QTest::newRow("analysis 400")
            << upload(uploaded("ACTIVE")) + QList<CannedAnswer>{{400, "{}"}}
            << "Gemini analysis error: ";
        QTest::newRow("chunk connection cut")
            << QList<CannedAnswer>{CannedAnswer::uploadStarted(), {200, "", false, {}, true}}
            << "Upload failed: ";
    }

    void keyNeverInUrlsOrMessages() {
        QFETCH(QList<CannedAnswer>, answers);
        QFETCH(QString, prefix);
        GeminiStandIn server;
        QVERIFY(server.start());
        server.answers = answers;
        // The cut chunk's status query is cut too, until the attempts are used up.
        server.whenEmpty = {200, "", false, {}, true};
        GeminiClient client;
        prepare(client, server);
        Recorder recorder;
        recorder.attach(client);

        client.analyzeVideo(clip, Key, "gemini-3.8-flash");
        QVERIFY(recorder.waitFinished());
        QVERIFY2(recorder.message.startsWith(prefix), qPrintable(recorder.message));
        QVERIFY2(!recorder.message.contains("TopSecret"), qPrintable(recorder.message));
        QVERIFY(!server.requests.isEmpty());
        for (const RecordedRequest& request : server.requests) {
            QVERIFY2(!request.target.contains("key="), request.target.constData());
            QVERIFY(!request.target.contains("TopSecret"));
            QCOMPARE(request.headers.value("x-goog-api-key"), Key.toUtf8());
        }
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
        // "make:<name>:<bytes>" is a (sparse) file made for the row.
        QTest::newRow("Matroska clip")
            << Key << "make:take.mkv:64"
            << ""
            << "Gemini does not accept Matroska (.mkv) clips; convert the clip to MP4 first.";
        QTest::newRow("unknown container")
            << Key << "make:take.flv:64"
            << ""
            << "Gemini does not accept this video container (.flv); use MP4, MOV, WebM or AVI.";
        QTest::newRow("empty clip") << Key << "make:empty.mp4:0"
                                    << ""
                                    << "The video file is empty: {path}";
        QTest::newRow("clip over 2 GB")
            << Key << "make:huge.mov:2147483649"
            << ""
            << "The clip is 2.0 GB; Gemini accepts files up to 2 GB. Shorten or re-encode it "
               "first.";
    }

    void inputsCheckedBeforeAnyRequest() {
        QFETCH(QString, key);
        QFETCH(QString, path);
        QFETCH(QString, model);
        QFETCH(QString, message);
        if (path == "clip") {
            path = clip;
        } else if (path == "folder") {
            path = dir.path();
        } else if (path.startsWith("make:")) {
            const QStringList made = path.split(':');
            path = dir.filePath(made[1]);
            QFile file(path);
            QVERIFY(file.open(QIODevice::WriteOnly) && file.resize(made[2].toLongLong()));
        }
        message.replace("{path}", path);
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
        if (path.startsWith(dir.path() + "/") && path != clip)
            QFile::remove(path);
    }

    // Cancel in each stage, and the limits that end a stage nobody answers.
    void eachStageEndsOnce_data() {
        QTest::addColumn<QList<CannedAnswer>>("answers");
        QTest::addColumn<int>("requestsBefore"); // cancel once the stand-in has these; -1: wait
        QTest::addColumn<QString>("shortLimit"); // the one limit made short for the row
        QTest::addColumn<QString>("message");
        const CannedAnswer hold{200, "", true};
        const QList<CannedAnswer> processing = upload(uploaded("PROCESSING"));
        const QList<CannedAnswer> active = upload(uploaded("ACTIVE"));

        QTest::newRow("cancel upload") << QList<CannedAnswer>{hold} << 1 << ""
                                       << "Upload failed: Operation canceled";
        QTest::newRow("cancel while waiting to poll") << processing << 2 << ""
                                                      << "Poll failed: Operation canceled";
        QTest::newRow("cancel poll") << processing + QList<CannedAnswer>{hold} << 3 << ""
                                     << "Poll failed: Operation canceled";
        QTest::newRow("cancel analysis") << active + QList<CannedAnswer>{hold} << 3 << ""
                                         << "Gemini analysis error: Operation canceled";
        QTest::newRow("upload stalls") << QList<CannedAnswer>{hold} << -1 << "upload"
                                       << "Upload failed: No data sent or received for 0.3 seconds";
        QTest::newRow("poll unanswered") << processing + QList<CannedAnswer>{hold} << -1 << "poll"
                                         << "Poll failed: No answer within 0.3 seconds";
        QTest::newRow("analysis unanswered")
            << active + QList<CannedAnswer>{hold} << -1 << "analysis"
            << "Gemini analysis error: No answer within 0.3 seconds";
        QTest::newRow("processing never ends")
            << processing << -1 << "polling time"
            << "Gemini video processing did not finish within 0.0025 minutes.";
        QTest::newRow("answer too large")
            << active + QList<CannedAnswer>{analysed(QString(3000, 'x'))} << -1 << "size"
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
        server.answers = upload(uploaded("PROCESSING", "files/old")) +
                         upload(uploaded("ACTIVE", "files/new")) +
                         QList<CannedAnswer>{analysed(timelineText())};
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
        // The old file is only deleted, never polled.
        QCOMPARE(server.requests.size() - server.count("DELETE"), 5);
        for (const RecordedRequest& request : server.requests)
            QVERIFY(request.method == "DELETE" || !request.path().endsWith("files/old"));
    }

    // After a connection is lost mid-chunk the client asks how much arrived and goes on from
    // there; "command@offset" lists every request sent to the upload address.
    void uploadResumesAfterLostConnection_data() {
        QTest::addColumn<QByteArray>("cutAt");
        QTest::addColumn<QList<CannedAnswer>>("answers");
        QTest::addColumn<QStringList>("sequence");
        const auto received = [](const QByteArray& bytes) {
            return CannedAnswer{
                200,
                "",
                false,
                {{"X-Goog-Upload-Status", "active"}, {"X-Goog-Upload-Size-Received", bytes}}};
        };
        const CannedAnswer done = analysed(timelineText());
        const CannedAnswer start = CannedAnswer::uploadStarted();
        const CannedAnswer active = uploaded("ACTIVE");

        QTest::newRow("half of the lost chunk arrived")
            << QByteArray("1048576")
            << QList<CannedAnswer>{start,        chunkTaken(), received("1572864"),
                                   chunkTaken(), active,       done}
            << QStringList{"upload@0", "upload@1048576", "query@", "upload@1572864",
                           "upload, finalize@2621440"};
        QTest::newRow("none of the lost chunk arrived")
            << QByteArray("1048576")
            << QList<CannedAnswer>{start,        chunkTaken(), received("1048576"),
                                   chunkTaken(), chunkTaken(), active,
                                   done}
            << QStringList{"upload@0",       "upload@1048576", "query@",
                           "upload@1048576", "upload@2097152", "upload, finalize@3145728"};
        QTest::newRow("the last chunk arrived, its answer was lost")
            << QByteArray("3145728")
            << QList<CannedAnswer>{start,
                                   chunkTaken(),
                                   chunkTaken(),
                                   chunkTaken(),
                                   {200, active.body, false, {{"X-Goog-Upload-Status", "final"}}},
                                   done}
            << QStringList{"upload@0", "upload@1048576", "upload@2097152",
                           "upload, finalize@3145728", "query@"};
    }

    void uploadResumesAfterLostConnection() {
        QFETCH(QByteArray, cutAt);
        QFETCH(QList<CannedAnswer>, answers);
        QFETCH(QStringList, sequence);
        GeminiStandIn server;
        QVERIFY(server.start());
        server.answers = answers;
        server.cutChunksAt = cutAt;
        GeminiClient client;
        prepare(client, server);
        client.setChunkBytes(1024 * 1024);
        Recorder recorder;
        recorder.attach(client);

        client.analyzeVideo(clip, Key, "");
        QVERIFY(recorder.waitFinished());
        QVERIFY2(recorder.success, qPrintable(recorder.message));
        QVERIFY(waitUntil([&] { return server.count("DELETE") == 1; }));
        QStringList sent;
        for (const RecordedRequest& request : server.requests) {
            if (!request.target.contains("upload_id="))
                continue;
            const QByteArray offset = request.headers.value("x-goog-upload-offset");
            const QString entry = request.headers.value("x-goog-upload-command") + '@' + offset;
            // Qt may send a chunk again on its own after a lost connection; once is enough here.
            if (sent.isEmpty() || sent.last() != entry)
                sent << entry;
            // Every chunk carries the clip's own bytes at its offset.
            QVERIFY(request.body == clipBytes.mid(offset.toLongLong(), request.body.size()));
            if (request.headers.value("x-goog-upload-command") == "upload, finalize")
                QCOMPARE(offset.toLongLong() + request.body.size(), clipBytes.size());
        }
        QVERIFY2(sent == sequence, qPrintable(sent.join(" | ")));
        QVERIFY(server.answers.isEmpty());
    }

    // One row per way the service refuses: the text shown, and how many requests it took
    // (retried or not); the file is deleted whenever the upload got that far.
    void serviceErrors_data() {
        QTest::addColumn<QList<CannedAnswer>>("answers");
        QTest::addColumn<bool>("success");
        QTest::addColumn<QString>("fragment");
        QTest::addColumn<int>("requests"); // without the clean-up
        QTest::addColumn<int>("deletes");
        QTest::addColumn<int>("uploads"); // requests carrying the clip
        const QList<CannedAnswer> active = upload(uploaded("ACTIVE"));
        const QList<CannedAnswer> done{analysed(timelineText())};
        const QJsonObject retryInfo{{"@type", "type.googleapis.com/google.rpc.RetryInfo"},
                                    {"retryDelay", "0.05s"}};
        const QJsonObject dailyQuota{
            {"@type", "type.googleapis.com/google.rpc.QuotaFailure"},
            {"violations",
             QJsonArray{QJsonObject{{"quotaId", "GenerateRequestsPerDayPerProjectPerModel"}}}}};
        const CannedAnswer busy =
            serviceError(503, "UNAVAILABLE", "The model is overloaded. Please try again later.");

        QTest::newRow("key invalid")
            << QList<CannedAnswer>{serviceError(
                   400, "INVALID_ARGUMENT", "API key not valid. Please pass a valid API key.",
                   {QJsonObject{{"@type", "type.googleapis.com/google.rpc.ErrorInfo"},
                                {"reason", "API_KEY_INVALID"}}})}
            << false
            << "Upload failed: HTTP 400 INVALID_ARGUMENT: API key not valid. Please pass a valid "
               "API key. Check the Gemini API key in Settings."
            << 1 << 0 << 0;
        QTest::newRow("key not allowed")
            << active + QList<CannedAnswer>{serviceError(403, "PERMISSION_DENIED", "Denied.")}
            << false << "not allowed to do this; check it in Settings." << 3 << 1 << 1;
        QTest::newRow("model not available")
            << active + QList<CannedAnswer>{serviceError(404, "NOT_FOUND",
                                                         "models/gemini-3.8-flash is not found")}
            << false
            << "HTTP 404 NOT_FOUND: models/gemini-3.8-flash is not found The model "
               "\"gemini-3.8-flash\" is not available to this key; pick another model in Settings."
            << 3 << 1 << 1;
        QTest::newRow("rate limited, then served")
            << active +
                   QList<CannedAnswer>{
                       serviceError(429, "RESOURCE_EXHAUSTED", "Slow down.", {retryInfo})} +
                   done
            << true << "" << 4 << 1 << 1;
        QTest::newRow("daily quota used up")
            << active + QList<CannedAnswer>{serviceError(429, "RESOURCE_EXHAUSTED", "Quota.",
                                                         {dailyQuota, retryInfo})}
            << false << "The daily quota of this key is used up" << 3 << 1 << 1;
        CannedAnswer longWait = serviceError(429, "RESOURCE_EXHAUSTED", "Slow down.");
        longWait.headers = {{"Retry-After", "3600"}};
        QTest::newRow("asked to wait longer than allowed")
            << active + QList<CannedAnswer>{longWait} << false
            << "Quota or rate limit reached; the service asks to wait 3600 s." << 3 << 1 << 1;
        QTest::newRow("service busy throughout")
            << active + QList<CannedAnswer>{busy, busy, busy, busy} << false
            << "Gemini analysis error: HTTP 503 UNAVAILABLE: The model is overloaded. Please try "
               "again later. The Gemini service is busy or unavailable; try again later. (after "
               "4 attempts)"
            << 6 << 1 << 1;
        QTest::newRow("analysis fails once, then served")
            << active + QList<CannedAnswer>{{500, ""}} + done << true << "" << 4 << 1 << 1;
        QTest::newRow("poll fails once")
            << upload(uploaded("PROCESSING")) + QList<CannedAnswer>{{502, ""}, polled("ACTIVE")} +
                   done
            << true << "" << 5 << 1 << 1;
        // Each request has its own attempts: the poll's retry leaves the analysis all three.
        QTest::newRow("attempts counted per request")
            << upload(uploaded("PROCESSING")) +
                   QList<CannedAnswer>{{502, ""}, polled("ACTIVE"), busy, busy, busy} + done
            << true << "" << 8 << 1 << 1;
        QTest::newRow("chunk times out once")
            << QList<CannedAnswer>{CannedAnswer::uploadStarted(), {408, ""}, uploaded("ACTIVE")} +
                   done
            << true << "" << 4 << 1 << 2;
        QTest::newRow("start fails once")
            << QList<CannedAnswer>{{504, ""}} + active + done << true << "" << 4 << 1 << 1;
        QTest::newRow("error without a body") << active + QList<CannedAnswer>{{400, ""}} << false
                                              << "Gemini analysis error: HTTP 400" << 3 << 1 << 1;
    }

    void serviceErrors() {
        QFETCH(QList<CannedAnswer>, answers);
        QFETCH(bool, success);
        QFETCH(QString, fragment);
        QFETCH(int, requests);
        QFETCH(int, deletes);
        QFETCH(int, uploads);
        GeminiStandIn server;
        QVERIFY(server.start());
        server.answers = answers;
        GeminiClient client;
        prepare(client, server);
        Recorder recorder;
        recorder.attach(client);

        client.analyzeVideo(clip, Key, "gemini-3.8-flash");
        QVERIFY(recorder.waitFinished());
        QCOMPARE(recorder.success, success);
        QVERIFY2(recorder.message.contains(fragment), qPrintable(recorder.message));
        QVERIFY(waitUntil([&] { return server.count("DELETE") == deletes; }));
        QTest::qWait(50);
        QCOMPARE(server.count("DELETE"), deletes);
        QCOMPARE(server.requests.size() - deletes, requests);
        QCOMPARE(recorder.finishedCount, 1);
        // A retry sends its own request again: a failed analysis does not upload the clip anew.
        int sent = 0;
        for (const RecordedRequest& request : server.requests)
            sent += request.headers.value("x-goog-upload-command") == "upload, finalize" ? 1 : 0;
        QCOMPARE(sent, uploads);
    }

    // Why the model gave no usable answer is named; its text is found among thoughts, split
    // parts and code fences.
    void answerReading_data() {
        QTest::addColumn<QByteArray>("answer");
        QTest::addColumn<QString>("message"); // "" for success
        const QString timeline = timelineText();
        QTest::newRow("safety stop")
            << candidate({}, "SAFETY") << "Gemini stopped its answer for safety reasons (SAFETY).";
        QTest::newRow("output limit before any text")
            << candidate({}, "MAX_TOKENS")
            << "Gemini used its whole output limit before answering (MAX_TOKENS); try a shorter "
               "clip.";
        QTest::newRow("output limit mid-answer")
            << candidate({textPart(timeline.left(40))}, "MAX_TOKENS")
            << "Gemini's answer was cut off at its output limit (MAX_TOKENS); try a shorter clip.";
        QTest::newRow("recitation") << candidate({textPart(timeline)}, "RECITATION")
                                    << "Gemini stopped its answer because it resembled existing "
                                       "material (RECITATION).";
        QTest::newRow("blocked prompt")
            << json({{"promptFeedback", QJsonObject{{"blockReason", "PROHIBITED_CONTENT"}}}})
            << "Gemini refused the request (blockReason PROHIBITED_CONTENT).";
        QTest::newRow("only a thought") << candidate({textPart("Hmm.", true)}, "STOP")
                                        << "No text content in candidate response";
        QTest::newRow("json fence")
            << candidate({textPart("```json\n" + timeline + "\n```\n")}, "STOP") << "";
        QTest::newRow("bare fence")
            << candidate({textPart("```\n" + timeline + "```")}, "STOP") << "";
        QTest::newRow("thought before the answer")
            << candidate({textPart("{ thinking about segments", true), textPart(timeline)}, "STOP")
            << "";
        QTest::newRow("answer split over parts")
            << candidate({textPart(timeline.left(50)), textPart(timeline.mid(50))}, "STOP") << "";
    }

    void answerReading() {
        QFETCH(QByteArray, answer);
        QFETCH(QString, message);
        GeminiStandIn server;
        QVERIFY(server.start());
        server.answers = upload(uploaded("ACTIVE")) + QList<CannedAnswer>{{200, answer}};
        GeminiClient client;
        prepare(client, server);
        Recorder recorder;
        recorder.attach(client);

        client.analyzeVideo(clip, Key, "");
        QVERIFY(recorder.waitFinished());
        QCOMPARE(recorder.message, message);
        QCOMPARE(recorder.success, message.isEmpty());
        QCOMPARE(recorder.timeline.segments.size(), message.isEmpty() ? 3 : 0);
        QVERIFY(waitUntil([&] { return server.count("DELETE") == 1; }));
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
