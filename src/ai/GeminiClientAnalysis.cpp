#include "ai/GeminiClient.h"

#include "ai/GeminiAnswer.h"
#include "timeline/TimelineCheck.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QStringList>

#include <algorithm>
#include <cmath>

namespace Tessaryn {

namespace {

// Models write times with a decimal or two; a slightly negative start is rounding, not data.
constexpr double NegativeTolerance = 0.05;

// The model's numbers reach the renderer and the exports: a reel with nothing to render, or
// times no clip can have, fails here instead of being reported as analysed.
QString checkSegments(TimelineData& timeline) {
    if (timeline.segments.isEmpty())
        return QStringLiteral("Gemini returned no segments for this video.");
    for (int i = 0; i < timeline.segments.size(); ++i) {
        Segment& segment = timeline.segments[i];
        for (double* time : {&segment.source_start, &segment.source_end}) {
            if (!std::isfinite(*time) || *time < -NegativeTolerance ||
                *time > GeminiClient::MaxSegmentSeconds)
                return QStringLiteral("Gemini returned an invalid time in segment %1.").arg(i + 1);
            *time = std::max(*time, 0.0);
        }
    }
    return QString();
}

// A time written as text or left out would silently read as zero and move the cut.
QString checkTimeTypes(const QJsonObject& answer) {
    const QJsonArray segments = answer.value(QStringLiteral("segments")).toArray();
    if (segments.size() > TimelineCheck::MaxSegments)
        return QStringLiteral("Gemini returned %1 segments; more than %2 is not a reading of one "
                              "clip.")
            .arg(QString::number(segments.size()), QString::number(TimelineCheck::MaxSegments));
    for (qsizetype i = 0; i < segments.size(); ++i) {
        const QJsonObject segment = segments[i].toObject();
        if (!segment.value(QStringLiteral("source_start")).isDouble() ||
            !segment.value(QStringLiteral("source_end")).isDouble())
            return QStringLiteral("Gemini returned segment %1 without numeric start and end "
                                  "times.")
                .arg(i + 1);
    }
    return QString();
}

// The answer's shape, enforced by the service rather than only asked for in the prompt.
QJsonObject responseSchema() {
    const auto typed = [](const char* type) {
        return QJsonObject{{QStringLiteral("type"), QLatin1String(type)}};
    };
    QJsonObject classification = typed("STRING");
    classification.insert(QStringLiteral("enum"), QJsonArray{QStringLiteral("milestone"),
                                                             QStringLiteral("repetitive_assembly"),
                                                             QStringLiteral("static_pause")});
    const QJsonArray segmentFields{QStringLiteral("source_start"), QStringLiteral("source_end"),
                                   QStringLiteral("description"), QStringLiteral("classification")};
    const QJsonObject segment{{QStringLiteral("type"), QStringLiteral("OBJECT")},
                              {QStringLiteral("properties"),
                               QJsonObject{{QStringLiteral("source_start"), typed("NUMBER")},
                                           {QStringLiteral("source_end"), typed("NUMBER")},
                                           {QStringLiteral("description"), typed("STRING")},
                                           {QStringLiteral("classification"), classification}}},
                              {QStringLiteral("required"), segmentFields},
                              {QStringLiteral("propertyOrdering"), segmentFields}};
    const QJsonArray topFields{QStringLiteral("summary"), QStringLiteral("subject_details"),
                               QStringLiteral("segments")};
    return QJsonObject{{QStringLiteral("type"), QStringLiteral("OBJECT")},
                       {QStringLiteral("properties"),
                        QJsonObject{{QStringLiteral("summary"), typed("STRING")},
                                    {QStringLiteral("subject_details"), typed("STRING")},
                                    {QStringLiteral("segments"),
                                     QJsonObject{{QStringLiteral("type"), QStringLiteral("ARRAY")},
                                                 {QStringLiteral("items"), segment}}}}},
                       {QStringLiteral("required"), topFields},
                       {QStringLiteral("propertyOrdering"), topFields}};
}

} // namespace

QString GeminiClient::analysisPrompt() {
    static const QStringList lines{
        QStringLiteral("You are an expert AI video editor and scene analyst. Analyze this video "
                       "clip and break it down chronologically into precise segments. Classify "
                       "each segment as:"),
        QStringLiteral("1. 'milestone': Crucial highlights, key moments, demonstrations, or focal "
                       "actions. Keep at normal 1x speed."),
        QStringLiteral("2. 'repetitive_assembly': Repetitive work, routine setup, or continuous "
                       "background tasks. Speed up to 10x."),
        QStringLiteral("3. 'static_pause': Inactive periods, off-frame pauses, or dead air > 2 "
                       "seconds. Cut/excise."),
        QString(),
        QStringLiteral("Output STRICT JSON matching this schema:"),
        QStringLiteral("{"),
        QStringLiteral("  \"summary\": \"Brief narrative summary of this video clip\","),
        QStringLiteral(
            "  \"subject_details\": \"Primary subject, objects, or scene details observed\","),
        QStringLiteral("  \"segments\": ["),
        QStringLiteral("    {"),
        QStringLiteral("      \"source_start\": 0.0,"),
        QStringLiteral("      \"source_end\": 5.2,"),
        QStringLiteral("      \"description\": \"Detailed description of action\","),
        QStringLiteral("      \"classification\": \"milestone\" | \"repetitive_assembly\" | "
                       "\"static_pause\""),
        QStringLiteral("    }"),
        QStringLiteral("  ]"),
        QStringLiteral("}"),
    };
    return lines.join(QLatin1Char('\n'));
}

void GeminiClient::generateContent() {
    stage = Stage::Analysing;
    const QJsonObject fileData{{QStringLiteral("fileUri"), fileUri},
                               {QStringLiteral("mimeType"), mimeType}};
    const QJsonArray parts{QJsonObject{{QStringLiteral("fileData"), fileData}},
                           QJsonObject{{QStringLiteral("text"), analysisPrompt()}}};
    const QJsonObject body{
        {QStringLiteral("contents"), QJsonArray{QJsonObject{{QStringLiteral("parts"), parts}}}},
        {QStringLiteral("generationConfig"),
         QJsonObject{{QStringLiteral("responseMimeType"), QStringLiteral("application/json")},
                     {QStringLiteral("responseSchema"), responseSchema()}}}};

    QNetworkRequest request =
        apiRequest(QStringLiteral("/v1beta/models/%1:generateContent").arg(model));
    request.setHeader(QNetworkRequest::ContentTypeHeader, QByteArrayLiteral("application/json"));
    track(network->post(request, QJsonDocument(body).toJson(QJsonDocument::Indented)),
          &GeminiClient::onGenerateContentFinished, analysisTimeoutMs, false);
}

void GeminiClient::onGenerateContentFinished() {
    const quint64 thisRun = run;
    const Answer answer = takeAnswer();
    if (!answer.ok) {
        // Sent again as it was: the uploaded file is reused, not uploaded anew.
        retryOrFail(answer, &GeminiClient::generateContent);
        return;
    }
    QString errorMessage;
    const TimelineData timeline = parseResponse(answer.body, errorMessage);
    if (stage == Stage::Idle || run != thisRun)
        return; // the usage callback ended this analysis
    if (!errorMessage.isEmpty()) {
        fail(errorMessage);
        return;
    }
    if (progress(QStringLiteral("Milestone analysis complete!"), 100, thisRun))
        finish(true, timeline, QString());
}

TimelineData GeminiClient::parseResponse(const QByteArray& body, QString& errorMessage) {
    errorMessage.clear();
    const QJsonDocument document = QJsonDocument::fromJson(body);
    if (!document.isObject()) {
        errorMessage = QStringLiteral("Invalid response JSON from Gemini");
        return TimelineData();
    }
    const QJsonObject answer = document.object();
    const QJsonObject usage = answer.value(QStringLiteral("usageMetadata")).toObject();
    const qint64 promptTokens =
        std::max<qint64>(0, usage.value(QStringLiteral("promptTokenCount")).toInteger());
    const qint64 candidatesTokens =
        std::max<qint64>(0, usage.value(QStringLiteral("candidatesTokenCount")).toInteger());
    if (usageCallback)
        usageCallback(promptTokens, candidatesTokens);

    const QString text = GeminiAnswer::modelText(answer, errorMessage);
    if (!errorMessage.isEmpty())
        return TimelineData();
    const QJsonDocument model = QJsonDocument::fromJson(text.toUtf8());
    if (!model.isObject()) {
        errorMessage = QStringLiteral("Model did not return valid JSON schema");
        return TimelineData();
    }

    errorMessage = checkTimeTypes(model.object());
    if (!errorMessage.isEmpty())
        return TimelineData();
    TimelineData timeline = TimelineData::fromJson(model.object());
    errorMessage = checkSegments(timeline);
    if (!errorMessage.isEmpty())
        return TimelineData();
    return timeline;
}

} // namespace Tessaryn
