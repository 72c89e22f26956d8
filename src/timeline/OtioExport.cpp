#include "timeline/OtioExport.h"

#include "timeline/ClassificationText.h"
#include "timeline/RenderPlan.h"
#include "timeline/TimelineData.h"

#include <QJsonDocument>
#include <QUrl>

#include <algorithm>
#include <cmath>

namespace Tessaryn {

namespace {

QJsonObject rationalTime(double value, double rate) {
    return {{"OTIO_SCHEMA", "RationalTime.1"}, {"rate", rate}, {"value", value}};
}

QJsonObject timeRange(double start, double duration, double rate) {
    return {{"OTIO_SCHEMA", "TimeRange.1"},
            {"duration", rationalTime(duration, rate)},
            {"start_time", rationalTime(start, rate)}};
}

QJsonObject marker(const Segment& segment, const QJsonObject& range) {
    return {{"OTIO_SCHEMA", "Marker.2"},
            {"name", segment.description.simplified()},
            {"color", TimelineExport::markerColor(segment.classification).toUpper()},
            {"comment", ClassificationText::toText(segment.classification)},
            {"marked_range", range},
            {"metadata", QJsonObject()}};
}

QJsonObject timeWarp(int step) {
    return {{"OTIO_SCHEMA", "LinearTimeWarp.1"},
            {"name", ""},
            {"effect_name", "LinearTimeWarp"},
            {"time_scalar", double(step)},
            {"metadata", QJsonObject()}};
}

// Fields every item (clip, gap) and composition (track, stack) shares.
QJsonObject item(const char* schema, const QString& name, const QJsonValue& sourceRange) {
    return {{"OTIO_SCHEMA", schema},       {"name", name},
            {"source_range", sourceRange}, {"effects", QJsonArray()},
            {"markers", QJsonArray()},     {"enabled", true},
            {"metadata", QJsonObject()}};
}

} // namespace

QString OtioExport::formatName() const {
    return QStringLiteral("otio");
}

QJsonObject OtioExport::mediaReference(double rate) const {
    const QJsonValue available =
        streamFacts.duration > 0
            ? QJsonValue(timeRange(0, std::floor(streamFacts.duration * rate + 1e-6), rate))
            : QJsonValue();
    return {{"OTIO_SCHEMA", "ExternalReference.1"},
            {"name", QUrl::fromLocalFile(sourcePath).fileName()},
            {"target_url", QUrl::fromLocalFile(sourcePath).toString(QUrl::FullyEncoded)},
            {"available_range", available},
            {"available_image_bounds", QJsonValue()},
            {"metadata", QJsonObject()}};
}

QJsonObject OtioExport::clip(const TimelineData& data, const ClipSpan& entry, double rate,
                             bool withMarker) const {
    const Segment& segment = data.segments[entry.segmentIndex];
    const QJsonObject range = timeRange(double(entry.first), double(entry.frames), rate);
    QJsonObject object = item(entry.pause ? "Gap.1" : "Clip.2", segment.description.simplified(),
                              entry.pause ? timeRange(0, double(entry.frames), rate) : range);
    if (withMarker)
        object["markers"] = QJsonArray{
            marker(segment, entry.pause ? timeRange(0, double(entry.frames), rate) : range)};
    if (entry.pause)
        return object;
    if (entry.step > 1)
        object["effects"] = QJsonArray{timeWarp(entry.step)};
    object["media_references"] = QJsonObject{{"DEFAULT_MEDIA", mediaReference(rate)}};
    object["active_media_reference_key"] = "DEFAULT_MEDIA";
    object["metadata"] = QJsonObject{
        {"tessaryn", QJsonObject{{"class", ClassificationText::toText(segment.classification)},
                                 {"speed", segment.speed_factor}}}};
    return object;
}

QJsonObject OtioExport::track(const QString& kind, const QJsonArray& children) const {
    QJsonObject object =
        item("Track.1", kind == QLatin1String("Video") ? "V1" : "A1", QJsonValue());
    object["kind"] = kind;
    object["children"] = children;
    return object;
}

QString OtioExport::text(const TimelineData& data, TimelineAxis axis) const {
    return sequenceText({Part{data, streamFacts, sourcePath}}, axis);
}

QString OtioExport::sequenceText(const QList<Part>& parts, TimelineAxis axis) const {
    if (parts.isEmpty())
        return QString();
    QJsonArray video;
    QJsonArray audio;
    bool hasAudio = false;
    double firstRate = 0.0;
    for (const Part& part : parts) {
        const OtioExport one = forPart(*this, part);
        const RenderPlan plan = RenderPlan::compute(part.data, part.facts);
        const double rate = double(plan.rateNum()) / double(plan.rateDen());
        if (firstRate == 0.0)
            firstRate = rate;
        hasAudio = hasAudio || part.facts.hasAudio;
        for (const ClipSpan& entry : clipSpans(part.data, plan, axis)) {
            video.append(one.clip(part.data, entry, rate, true));
            // A silent clip keeps the sound of the others in step with a gap.
            audio.append(part.facts.hasAudio
                             ? one.clip(part.data, entry, rate, false)
                             : item("Gap.1", QString(), timeRange(0, double(entry.frames), rate)));
        }
    }
    QJsonArray tracks{track(QStringLiteral("Video"), video)};
    if (hasAudio)
        tracks.append(track(QStringLiteral("Audio"), audio));
    QJsonObject stack = item("Stack.1", QStringLiteral("tracks"), QJsonValue());
    stack["children"] = tracks;
    const QString name = titleOr(QUrl::fromLocalFile(parts.first().sourcePath).fileName());
    const QJsonObject timeline{{"OTIO_SCHEMA", "Timeline.1"},
                               {"name", name},
                               {"global_start_time", rationalTime(0, firstRate)},
                               {"tracks", stack},
                               {"metadata", QJsonObject()}};
    return QString::fromUtf8(QJsonDocument(timeline).toJson(QJsonDocument::Indented));
}

} // namespace Tessaryn
