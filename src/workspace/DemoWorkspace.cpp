#include "workspace/DemoWorkspace.h"

#include "app/PipelineSettings.h"
#include "timeline/SafeFile.h"
#include "timeline/TimelineMath.h"
#include "workspace/Workspace.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QProcess>

namespace Tessaryn {

namespace {

struct DemoClip {
    const char* name;
    int seconds;
    const char* answer; // the model's answer for an analysed clip; null for a pending one
};

// Fixed answers in the shape the model returns; they run through the same parsing and
// computation as a live analysis.
const DemoClip Clips[] = {
    {"01_bench_setup", 12, R"({
      "summary": "Laying out tools and parts on the bench before assembly.",
      "subject_details": "Mechanical wristwatch movement on a walnut workbench",
      "segments": [
        {"source_start": 0.0, "source_end": 3.0, "classification": "milestone",
         "description": "Opening shot of the bench and the movement"},
        {"source_start": 3.0, "source_end": 8.0, "classification": "repetitive_assembly",
         "description": "Sorting screws into the parts tray"},
        {"source_start": 8.0, "source_end": 10.5, "classification": "static_pause",
         "description": "Hands leave the frame, pause"},
        {"source_start": 10.5, "source_end": 12.0, "classification": "milestone",
         "description": "Tray ready, first part picked up"}
      ]})"},
    {"02_gear_train", 16, R"({
      "summary": "Fitting the gear train and checking that it turns freely.",
      "subject_details": "Gear train of the movement, seen from above",
      "segments": [
        {"source_start": 0.0, "source_end": 2.5, "classification": "milestone",
         "description": "Centre wheel placed in the main plate"},
        {"source_start": 2.5, "source_end": 11.0, "classification": "repetitive_assembly",
         "description": "Seating the third, fourth and escape wheels one by one"},
        {"source_start": 11.0, "source_end": 13.5, "classification": "",
         "description": "Long pause while the loupe is adjusted"},
        {"source_start": 13.5, "source_end": 16.0, "classification": "milestone",
         "description": "Bridge screwed down; the train spins freely"}
      ]})"},
    {"03_final_check", 8, nullptr},
};

QString makeClip(const QString& ffmpeg, const QString& path, int seconds) {
    // Written under a temporary name so an interrupted run leaves no half clip to be scanned.
    const QString partial = path + QStringLiteral(".part");
    QProcess process;
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(ffmpeg,
                  {"-y", "-hide_banner", "-loglevel", "error", "-f", "lavfi", "-i",
                   QStringLiteral("testsrc2=size=640x360:rate=30:duration=%1").arg(seconds), "-c:v",
                   "libx264", "-preset", "ultrafast", "-pix_fmt", "yuv420p", "-f", "mp4", partial});
    if (!process.waitForStarted(10000))
        return QStringLiteral("Could not start %1: %2").arg(ffmpeg, process.errorString());
    if (!process.waitForFinished(120000)) {
        process.kill();
        process.waitForFinished(3000);
        QFile::remove(partial);
        return QStringLiteral("%1 did not finish making %2").arg(ffmpeg, path);
    }
    if (process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0) {
        QFile::remove(partial);
        return QStringLiteral("%1 failed making %2: %3")
            .arg(ffmpeg, path, QString::fromLocal8Bit(process.readAll()).trimmed());
    }
    QFile::remove(path);
    if (!QFile::rename(partial, path))
        return QStringLiteral("Could not move %1 into place").arg(path);
    return QString();
}

QString storeAnalysis(Workspace& ws, const DemoClip& clip) {
    const int index = [&] {
        for (int i = 0; i < ws.reels.size(); ++i) {
            if (ws.reels.at(i).name == QLatin1String(clip.name))
                return i;
        }
        return -1;
    }();
    if (index < 0)
        return QStringLiteral("The demo clip %1 was not found by the scan").arg(clip.name);

    TimelineData data =
        TimelineData::fromJson(QJsonDocument::fromJson(QByteArray(clip.answer)).object());
    TimelineMath::computeTimeline(data, PipelineSettings::DefaultSpeed,
                                  PipelineSettings::DefaultMinPause);

    Reel& reel = ws.reels[index];
    reel.duration = clip.seconds;
    if (!SafeFile::writeJsonObject(reel.timeline_path, data.toJson()))
        return QStringLiteral("Could not write %1").arg(reel.timeline_path);
    const bool exported =
        TimelineMath::exportDaVinciMarkersCsv(data, reel.source_markers_path, false, 30.0) &&
        TimelineMath::exportDaVinciMarkersCsv(data, reel.edited_markers_path, true, 30.0) &&
        TimelineMath::exportSrtSubtitles(data, reel.source_srt_path, false) &&
        TimelineMath::exportSrtSubtitles(data, reel.edited_srt_path, true);
    if (!exported)
        return QStringLiteral("Could not write the exports of %1").arg(reel.name);
    ws.updateReelTimeline(index, data);
    return QString();
}

} // namespace

QString DemoWorkspace::projectName() {
    return QStringLiteral("Tessaryn Demo Project");
}
QString DemoWorkspace::folderName() {
    return QStringLiteral("Tessaryn_Demo");
}
QString DemoWorkspace::footageFolderName() {
    return QStringLiteral("Demo_Footage");
}

DemoWorkspace::Result DemoWorkspace::ensure(const QString& projectsRoot,
                                            const QString& ffmpegProgram) {
    Result result;
    const QDir projects(projectsRoot);
    result.workspacePath = projects.filePath(folderName());
    if (QFileInfo(QDir(result.workspacePath).filePath(Workspace::workspaceFileName())).isFile()) {
        result.ok = true;
        return result;
    }

    const QString footage = projects.filePath(footageFolderName());
    if (!QDir().mkpath(footage)) {
        result.error = QStringLiteral("Could not create %1").arg(footage);
        return result;
    }
    for (const DemoClip& clip : Clips) {
        const QString path = QDir(footage).filePath(QString::fromLatin1(clip.name) + ".mp4");
        if (QFileInfo(path).isFile())
            continue;
        result.error = makeClip(ffmpegProgram, path, clip.seconds);
        if (!result.error.isEmpty())
            return result;
    }

    Workspace ws;
    if (!ws.create(result.workspacePath, projectName(), footage)) {
        result.error =
            QStringLiteral("Could not create the workspace in %1").arg(result.workspacePath);
        return result;
    }
    // Until the demo is complete, no workspace.json may claim it exists: the next run retries.
    const auto fail = [&](const QString& error) {
        QFile::remove(QDir(result.workspacePath).filePath(Workspace::workspaceFileName()));
        result.error = error;
        return result;
    };
    for (const DemoClip& clip : Clips) {
        if (!clip.answer) {
            if (Reel* reel = ws.findReelByName(QString::fromLatin1(clip.name)))
                reel->duration = clip.seconds;
            continue;
        }
        const QString error = storeAnalysis(ws, clip);
        if (!error.isEmpty())
            return fail(error);
    }
    if (!ws.save())
        return fail(QStringLiteral("Could not save %1").arg(result.workspacePath));
    result.ok = true;
    return result;
}

} // namespace Tessaryn
