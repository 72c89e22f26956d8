#include "cli/CliRunner.h"

#include "media/FFmpegEngine.h"
#include "pipeline/ReelOutputWriter.h"
#include "pipeline/WorkspaceExportWriter.h"
#include "workspace/Workspace.h"

#include <QDir>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

namespace Tessaryn {

CliRunner::CliRunner(const CliOptions& parsed, std::FILE* outStream, std::FILE* errStream)
    : options(parsed), out(outStream), err(errStream) {}

void CliRunner::say(const QString& line) {
    std::fputs(line.toUtf8().constData(), out);
    std::fputc('\n', out);
    std::fflush(out);
}

void CliRunner::warn(const QString& line) {
    std::fputs(line.toUtf8().constData(), err);
    std::fputc('\n', err);
    std::fflush(err);
}

int CliRunner::usageError(const QString& line) {
    warn(QStringLiteral("tessaryn-cli: %1").arg(line));
    return UsageError;
}

int CliRunner::run() {
    if (options.help) {
        std::fputs(CliOptions::usage(options.command).toUtf8().constData(), out);
        return Ok;
    }
    const QString& c = options.command;
    if (c == QLatin1String("create"))
        return create();
    if (c == QLatin1String("analyze"))
        return runReelJobs(false);
    if (c == QLatin1String("render"))
        return runReelJobs(true);
    if (c == QLatin1String("export"))
        return exportFiles();
    if (c == QLatin1String("stitch"))
        return stitch();
    if (c == QLatin1String("status"))
        return status();
    return usageError(QStringLiteral("unknown command '%1'").arg(c));
}

bool CliRunner::openWorkspace(Workspace& workspace) {
    const QFileInfo info(options.workspace);
    const QString file = info.isDir()
                             ? QDir(options.workspace).filePath(Workspace::workspaceFileName())
                             : options.workspace;
    if (!QFileInfo(file).isFile()) {
        warn(QStringLiteral("tessaryn-cli: no workspace at %1").arg(options.workspace));
        return false;
    }
    if (!workspace.load(options.workspace)) {
        warn(QStringLiteral("tessaryn-cli: cannot read the workspace %1").arg(file));
        return false;
    }
    return true;
}

bool CliRunner::selectReels(Workspace& workspace, bool render, QList<int>* indices) {
    if (!options.reels.isEmpty()) {
        for (const QString& name : std::as_const(options.reels)) {
            int found = -1;
            for (int i = 0; i < workspace.reels.size(); ++i) {
                if (workspace.reels.at(i).name == name)
                    found = i;
            }
            if (found < 0) {
                usageError(
                    QStringLiteral("no reel named '%1' in %2").arg(name, workspace.root_path));
                return false;
            }
            if (!indices->contains(found))
                indices->append(found);
        }
        return true;
    }
    // Without names, the reels a batch would take: not yet analysed, or analysed and not cut.
    for (int i = 0; i < workspace.reels.size(); ++i) {
        const ReelStatus s = workspace.reels.at(i).status;
        const bool wanted = render ? s == ReelStatus::Analyzed
                                   : (s == ReelStatus::Pending || s == ReelStatus::Error);
        if (wanted)
            indices->append(i);
    }
    return true;
}

int CliRunner::create() {
    if (!QFileInfo(options.footage).isDir())
        return usageError(
            QStringLiteral("the footage folder %1 does not exist").arg(options.footage));
    const QString root = QFileInfo(options.workspace).absoluteFilePath();
    if (QFileInfo::exists(QDir(root).filePath(Workspace::workspaceFileName())))
        return usageError(QStringLiteral("%1 already holds a workspace").arg(root));
    const QString name = options.name.isEmpty() ? QFileInfo(root).fileName() : options.name;
    Workspace workspace;
    workspace.remembersRecent = false;
    if (!workspace.create(root, name, QFileInfo(options.footage).absoluteFilePath())) {
        warn(QStringLiteral("tessaryn-cli: could not write workspace.json in %1").arg(root));
        return JobFailed;
    }
    say(QStringLiteral("Created workspace %1 at %2 with %3 reels.")
            .arg(name, root, QString::number(workspace.reels.size())));
    return Ok;
}

int CliRunner::exportFiles() {
    if (!ReelOutputWriter::exportFormats().contains(options.format))
        return usageError(QStringLiteral("unknown format '%1' (known: %2)")
                              .arg(options.format, ReelOutputWriter::exportFormats().join(", ")));
    Workspace workspace;
    workspace.remembersRecent = false;
    if (!openWorkspace(workspace))
        return UsageError;
    QList<int> indices;
    if (!options.reels.isEmpty() && !selectReels(workspace, false, &indices))
        return UsageError;
    if (options.reels.isEmpty()) {
        for (int i = 0; i < workspace.reels.size(); ++i)
            indices << i;
    }
    const QList<bool> axes = options.axis.isEmpty()
                                 ? QList<bool>{false, true}
                                 : QList<bool>{options.axis == QLatin1String("edited")};
    if (options.whole)
        return exportWhole(workspace, axes);
    int status = Ok;
    for (int index : std::as_const(indices)) {
        Reel reel = workspace.reels.at(index);
        // The command line may wait: markers land on the clip's own frame grid.
        if (!reel.timeline.segments.isEmpty() && !reel.facts.known())
            reel.facts = FFmpegEngine::getStreamFacts(reel.source_path);
        if (reel.timeline.segments.isEmpty()) {
            // Named reels must have something to export; the rest are simply passed over.
            if (!options.reels.isEmpty()) {
                warn(QStringLiteral("%1: not analysed yet, nothing to export").arg(reel.name));
                status = JobFailed;
            }
            continue;
        }
        for (bool edited : axes) {
            QString error;
            const QString path = ReelOutputWriter::exportPath(reel, options.format, edited);
            if (ReelOutputWriter::writeExport(reel, reel.timeline, options.format, edited,
                                              &error)) {
                say(path);
            } else {
                warn(QStringLiteral("%1: %2").arg(reel.name, error));
                status = JobFailed;
            }
        }
    }
    return status;
}

int CliRunner::exportWhole(Workspace& workspace, const QList<bool>& axes) {
    if (!WorkspaceExportWriter::formats().contains(options.format))
        return usageError(QStringLiteral("--whole takes %1, not '%2'")
                              .arg(WorkspaceExportWriter::formats().join(", "), options.format));
    for (Reel& reel : workspace.reels) {
        if (!reel.timeline.segments.isEmpty() && !reel.facts.known())
            reel.facts = FFmpegEngine::getStreamFacts(reel.source_path);
    }
    int status = Ok;
    for (bool edited : axes) {
        const WorkspaceExportWriter::Result result =
            WorkspaceExportWriter::write(workspace, options.format, edited);
        if (!result.written) {
            warn(QStringLiteral("tessaryn-cli: %1").arg(result.error));
            status = JobFailed;
            continue;
        }
        warn(QStringLiteral("%1 reels in order: %2")
                 .arg(QString::number(result.reels.size()), result.reels.join(", ")));
        say(result.path);
    }
    return status;
}

int CliRunner::status() {
    Workspace workspace;
    workspace.remembersRecent = false;
    if (!openWorkspace(workspace))
        return UsageError;
    QJsonArray reels;
    for (const Reel& reel : std::as_const(workspace.reels)) {
        const bool rendered = QFileInfo::exists(reel.rendered_path);
        reels.append(QJsonObject{
            {"name", reel.name},
            {"status", reel.statusText()},
            {"status_code", int(reel.status)},
            {"source_path", reel.source_path},
            // The clip's probed length; 0 until the studio or a render has probed it.
            {"duration", reel.duration > 0.0 ? reel.duration : reel.facts.duration},
            {"source_duration", reel.timeline.total_source_duration},
            {"edited_duration", reel.timeline.total_edited_duration},
            {"segments", int(reel.timeline.segments.size())},
            {"timeline_path", reel.timeline_path},
            {"rendered_path", rendered ? reel.rendered_path : QString()},
            // The cut is older than its timeline: the stitch leaves it out until re-rendered.
            {"cut_stale", reel.cutIsStale()},
            {"source_markers_path", reel.source_markers_path},
            {"edited_markers_path", reel.edited_markers_path},
            {"source_srt_path", reel.source_srt_path},
            {"edited_srt_path", reel.edited_srt_path},
        });
    }
    const QString master = workspace.getMasterPath();
    if (options.json) {
        const QJsonObject doc{{"project_name", workspace.project_name},
                              {"root_path", workspace.root_path},
                              {"source_dir", workspace.source_dir},
                              {"master_path", QFileInfo::exists(master) ? master : QString()},
                              {"reels", reels}};
        std::fputs(QJsonDocument(doc).toJson(QJsonDocument::Indented).constData(), out);
        return Ok;
    }
    say(QStringLiteral("%1 (%2)").arg(workspace.project_name, workspace.root_path));
    for (const Reel& reel : std::as_const(workspace.reels))
        say(QStringLiteral("  %1  %2  %3 s -> %4 s")
                .arg(reel.name, reel.statusText(),
                     QString::number(reel.timeline.total_source_duration, 'f', 1),
                     QString::number(reel.timeline.total_edited_duration, 'f', 1)));
    return Ok;
}

} // namespace Tessaryn
