#pragma once

#include "timeline/Segment.h"

#include <QJsonObject>
#include <QList>
#include <QString>

namespace Tessaryn {

// The analysis result of one reel; also the shape of the model's answer.
class TimelineData {
public:
    QString summary;
    QString subject_details;
    QList<Segment> segments;
    double total_source_duration = 0.0;
    double total_edited_duration = 0.0;

    // Whether any segment was changed by hand since the analysis.
    bool hasHandEdits() const;

    QJsonObject toJson() const;
    // Never fails: missing or mistyped keys take their defaults.
    static TimelineData fromJson(const QJsonObject& obj);
};

} // namespace Tessaryn
