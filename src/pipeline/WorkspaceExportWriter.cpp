#include "pipeline/WorkspaceExportWriter.h"

#include "app/PipelineSettings.h"
#include "timeline/TimelineAxis.h"
#include "timeline/TimelineExport.h"
#include "timeline/TimelineExports.h"
#include "workspace/Workspace.h"

#include <QDir>
#include <QFileInfo>

#include <memory>

namespace Tessaryn {

QStringList WorkspaceExportWriter::formats() {
    QStringList names;
    for (const QString& format : TimelineExports::formats()) {
        if (TimelineExports::create(format)->holdsSequences())
            names << format;
    }
    return names;
}

QString WorkspaceExportWriter::exportPath(const Workspace& workspace, const QString& format,
                                          bool edited) {
    return QDir(workspace.getReleaseDir())
        .filePath(QStringLiteral("%1_Master_%2.%3")
                      .arg(Workspace::fileStem(workspace.project_name),
                           edited ? QStringLiteral("edited") : QStringLiteral("source"), format));
}

WorkspaceExportWriter::Result WorkspaceExportWriter::write(const Workspace& workspace,
                                                           const QString& format, bool edited) {
    Result result;
    result.path = exportPath(workspace, format, edited);
    const std::unique_ptr<TimelineExport> exporter = TimelineExports::create(format);
    if (!exporter || !exporter->holdsSequences()) {
        result.error = QStringLiteral("the %1 format has no whole-workspace timeline (known: %2)")
                           .arg(format, formats().join(", "));
        return result;
    }
    QList<TimelineExport::Part> parts;
    for (const Reel* reel : workspace.releaseOrder()) {
        if (reel->timeline.segments.isEmpty())
            continue;
        parts.append(
            {reel->timeline, reel->facts, QFileInfo(reel->source_path).absoluteFilePath()});
        result.reels << reel->name;
    }
    if (parts.isEmpty()) {
        result.error = QStringLiteral("no reel is analysed yet");
        return result;
    }
    const PipelineSettings settings = PipelineSettings::load();
    exporter->setDropFrame(settings.drop_frame_markers);
    exporter->setRecordStartHour(settings.record_start_hour);
    exporter->setTitle(workspace.project_name);
    result.written = exporter->writeSequence(
        parts, result.path, edited ? TimelineAxis::Edited : TimelineAxis::Source, &result.error);
    return result;
}

} // namespace Tessaryn
