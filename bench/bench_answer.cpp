// Prints how long the GUI thread spends on a large analysis answer: a 10,000-segment answer
// (refused) and a 5,000-segment one (the most accepted) parsed, checked, computed and written.
#include "ai/GeminiClient.h"
#include "pipeline/ReelOutputWriter.h"
#include "timeline/TimelineCheck.h"
#include "timeline/TimelineMath.h"
#include "workspace/Reel.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>

#include <cstdio>

using namespace Tessaryn;

namespace {

QByteArray answerWith(int count) {
    const char* kinds[] = {"milestone", "repetitive_assembly", "static_pause"};
    QJsonArray segments;
    for (int i = 0; i < count; ++i)
        segments.append(
            QJsonObject{{"source_start", i * 2.0},
                        {"source_end", i * 2.0 + 2.0},
                        {"classification", kinds[i % 3]},
                        {"description", QStringLiteral("Step %1 of the build").arg(i)}});
    const QString text = QString::fromUtf8(
        QJsonDocument(QJsonObject{{"summary", "s"}, {"segments", segments}}).toJson());
    const QJsonObject content{{"parts", QJsonArray{QJsonObject{{"text", text}}}}};
    return QJsonDocument(QJsonObject{{"candidates", QJsonArray{QJsonObject{{"content", content}}}}})
        .toJson(QJsonDocument::Compact);
}

} // namespace

int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    QTemporaryDir dir;
    GeminiClient client;
    for (int count : {10000, 5000}) {
        const QByteArray body = answerWith(count);
        QElapsedTimer timer;
        timer.start();
        QString error;
        TimelineData data = client.parseResponse(body, error);
        if (error.isEmpty()) {
            error = TimelineCheck::repair(data, count * 2.0);
            TimelineMath::computeTimeline(data, 10.0, 2.0);
            Reel reel;
            reel.timeline_path = dir.filePath("t/reel_timeline.json");
            reel.source_markers_path = dir.filePath("m/reel_source_markers.csv");
            reel.edited_markers_path = dir.filePath("m/reel_edited_markers.csv");
            reel.source_srt_path = dir.filePath("s/reel_source.srt");
            reel.edited_srt_path = dir.filePath("s/reel_edited.srt");
            ReelOutputWriter::writeAnalysis(reel, data);
        }
        std::printf("%d-segment answer (%.1f MiB): %s in %.1f ms on the GUI thread\n", count,
                    body.size() / 1048576.0, error.isEmpty() ? "accepted and written" : "refused",
                    timer.nsecsElapsed() / 1e6);
    }
    return 0;
}
