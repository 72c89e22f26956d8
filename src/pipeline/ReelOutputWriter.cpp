#include "pipeline/ReelOutputWriter.h"

#include "app/PipelineSettings.h"
#include "timeline/SafeFile.h"
#include "timeline/TimelineAxis.h"
#include "timeline/TimelineData.h"
#include "timeline/TimelineExport.h"
#include "timeline/TimelineExports.h"
#include "workspace/Reel.h"

#include <QDir>
#include <QFileInfo>

namespace Tessaryn {

ReelOutputWriter::Result ReelOutputWriter::writeAnalysis(const Reel& reel,
                                                         const TimelineData& data) {
    Result result;
    result.timelineSaved = writeTimeline(reel, data);
    result.failedFiles = writeExports(reel, data);
    return result;
}

bool ReelOutputWriter::writeTimeline(const Reel& reel, const TimelineData& data) {
    QDir().mkpath(QFileInfo(reel.timeline_path).absolutePath());
    return SafeFile::writeJsonObject(reel.timeline_path, data.toJson());
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
    return TimelineExports::formats();
}

QString ReelOutputWriter::exportPath(const Reel& reel, const QString& format, bool edited) {
    if (format == QLatin1String("csv"))
        return edited ? reel.edited_markers_path : reel.source_markers_path;
    if (format == QLatin1String("srt"))
        return edited ? reel.edited_srt_path : reel.source_srt_path;
    // Other formats sit beside the marker lists, named after the reel's files like them; the
    // format's name is its extension (.edl, .otio, .fcpxml, .mlt).
    QString stem = QFileInfo(reel.timeline_path).completeBaseName();
    stem.chop(QStringLiteral("_timeline").size());
    return QFileInfo(reel.source_markers_path)
        .dir()
        .filePath(
            QStringLiteral("%1_%2.%3")
                .arg(stem, edited ? QStringLiteral("edited") : QStringLiteral("source"), format));
}

bool ReelOutputWriter::writeExport(const Reel& reel, const TimelineData& data,
                                   const QString& format, bool edited, QString* error) {
    const std::unique_ptr<TimelineExport> exporter = TimelineExports::create(format);
    if (!exporter) {
        if (error)
            *error = QStringLiteral("unknown format '%1'").arg(format);
        return false;
    }
    // On the reel's own frame grid, so that the files agree with its rendered film.
    exporter->setStreamFacts(reel.facts);
    const PipelineSettings settings = PipelineSettings::load();
    exporter->setDropFrame(settings.drop_frame_markers);
    exporter->setRecordStartHour(settings.record_start_hour);
    exporter->setSourcePath(QFileInfo(reel.source_path).absoluteFilePath());
    return exporter->write(data, exportPath(reel, format, edited),
                           edited ? TimelineAxis::Edited : TimelineAxis::Source, error);
}

} // namespace Tessaryn
