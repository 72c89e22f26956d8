#include "pipeline/ReelOutputWriter.h"

#include "timeline/SafeFile.h"
#include "timeline/TimelineData.h"
#include "timeline/TimelineMath.h"
#include "workspace/Reel.h"

#include <QDir>
#include <QFileInfo>

namespace Tessaryn {

namespace {

constexpr double MarkerFps = 30.0;

} // namespace

ReelOutputWriter::Result ReelOutputWriter::writeAnalysis(const Reel& reel,
                                                         const TimelineData& data) {
    Result result;
    QDir().mkpath(QFileInfo(reel.timeline_path).absolutePath());
    result.timelineSaved = SafeFile::writeJsonObject(reel.timeline_path, data.toJson());
    result.failedFiles = writeExports(reel, data);
    return result;
}

QStringList ReelOutputWriter::writeExports(const Reel& reel, const TimelineData& data) {
    QStringList failed;
    for (const QString& format : exportFormats()) {
        for (bool edited : {false, true}) {
            QString error;
            if (!writeExport(reel, data, format, edited, &error))
                failed << exportPath(reel, format, edited);
        }
    }
    return failed;
}

QStringList ReelOutputWriter::exportFormats() {
    return {QStringLiteral("csv"), QStringLiteral("srt")};
}

QString ReelOutputWriter::exportPath(const Reel& reel, const QString& format, bool edited) {
    if (format == QLatin1String("csv"))
        return edited ? reel.edited_markers_path : reel.source_markers_path;
    if (format == QLatin1String("srt"))
        return edited ? reel.edited_srt_path : reel.source_srt_path;
    return QString();
}

bool ReelOutputWriter::writeExport(const Reel& reel, const TimelineData& data,
                                   const QString& format, bool edited, QString* error) {
    const QString path = exportPath(reel, format, edited);
    bool written = false;
    if (format == QLatin1String("csv"))
        written = TimelineMath::exportDaVinciMarkersCsv(data, path, edited, MarkerFps);
    else if (format == QLatin1String("srt"))
        written = TimelineMath::exportSrtSubtitles(data, path, edited);
    if (!written && error)
        *error = path.isEmpty() ? QStringLiteral("unknown format '%1'").arg(format)
                                : QStringLiteral("could not write %1").arg(path);
    return written;
}

} // namespace Tessaryn
