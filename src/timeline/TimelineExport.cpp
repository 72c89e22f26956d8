#include "timeline/TimelineExport.h"

#include "timeline/SafeFile.h"
#include "timeline/TimelineData.h"

#include <QDir>
#include <QFileInfo>

namespace Tessaryn {

bool TimelineExport::write(const TimelineData& data, const QString& path, TimelineAxis axis,
                           QString* error) const {
    const QString folder = QFileInfo(path).absolutePath();
    if (!QDir().mkpath(folder)) {
        if (error)
            *error = QStringLiteral("Cannot create the folder %1").arg(folder);
        return false;
    }
    if (!SafeFile::writeText(path, text(data, axis))) {
        if (error)
            *error = QStringLiteral("Cannot write %1").arg(path);
        return false;
    }
    return true;
}

bool TimelineExport::isOnAxis(const Segment& segment, TimelineAxis axis) {
    return !(axis == TimelineAxis::Edited && segment.classification == Classification::StaticPause);
}

double TimelineExport::startOn(const Segment& segment, TimelineAxis axis) {
    return axis == TimelineAxis::Edited ? segment.edited_start : segment.source_start;
}

double TimelineExport::endOn(const Segment& segment, TimelineAxis axis) {
    return axis == TimelineAxis::Edited ? segment.edited_end : segment.source_end;
}

} // namespace Tessaryn
