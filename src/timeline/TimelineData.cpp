#include "timeline/TimelineData.h"

#include "timeline/ClassificationText.h"

#include <QJsonArray>

#include <algorithm>

namespace Tessaryn {

bool TimelineData::hasHandEdits() const {
    return std::any_of(segments.cbegin(), segments.cend(),
                       [](const Segment& s) { return s.edited; });
}

QJsonObject TimelineData::toJson() const {
    QJsonArray array;
    for (const Segment& s : segments) {
        QJsonObject o;
        o.insert("source_start", s.source_start);
        o.insert("source_end", s.source_end);
        o.insert("description", s.description);
        o.insert("classification", ClassificationText::toText(s.classification));
        o.insert("speed_factor", s.speed_factor);
        o.insert("edited_start", s.edited_start);
        o.insert("edited_end", s.edited_end);
        // Written only when set: a timeline nobody edited stays byte-identical to older files.
        if (s.edited)
            o.insert("edited", true);
        array.append(o);
    }
    QJsonObject obj;
    obj.insert("summary", summary);
    obj.insert("subject_details", subject_details);
    obj.insert("total_source_duration", total_source_duration);
    obj.insert("total_edited_duration", total_edited_duration);
    obj.insert("segments", array);
    return obj;
}

TimelineData TimelineData::fromJson(const QJsonObject& obj) {
    TimelineData data;
    data.summary = obj.value(QLatin1String("summary")).toString();
    data.subject_details = obj.value(QLatin1String("subject_details")).toString();
    if (data.subject_details.isEmpty())
        data.subject_details =
            obj.value(QLatin1String("watch_details")).toString(); // older files' name
    data.total_source_duration = obj.value(QLatin1String("total_source_duration")).toDouble(0.0);
    data.total_edited_duration = obj.value(QLatin1String("total_edited_duration")).toDouble(0.0);

    const QJsonArray array = obj.value(QLatin1String("segments")).toArray();
    data.segments.reserve(array.size());
    for (const QJsonValue& v : array) {
        const QJsonObject o = v.toObject();
        Segment s;
        s.source_start = o.value(QLatin1String("source_start")).toDouble(0.0);
        s.source_end = o.value(QLatin1String("source_end")).toDouble(0.0);
        s.edited_start = o.value(QLatin1String("edited_start")).toDouble(0.0);
        s.edited_end = o.value(QLatin1String("edited_end")).toDouble(0.0);
        s.speed_factor = o.value(QLatin1String("speed_factor")).toDouble(1.0);
        s.description = o.value(QLatin1String("description")).toString();
        s.classification =
            ClassificationText::fromText(o.value(QLatin1String("classification")).toString());
        s.edited = o.value(QLatin1String("edited")).toBool(false);
        data.segments.append(s);
    }
    return data;
}

} // namespace Tessaryn
