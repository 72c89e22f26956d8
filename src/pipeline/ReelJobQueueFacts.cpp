#include "pipeline/ReelJobQueue.h"

#include "app/PipelineSettings.h"
#include "media/FFmpegEngine.h"
#include "media/ProbeJob.h"
#include "media/RenderOptions.h"
#include "pipeline/ReelOutputWriter.h"
#include "workspace/Workspace.h"

namespace Tessaryn {

RenderOptions ReelJobQueue::renderOptions() {
    const PipelineSettings settings = PipelineSettings::load();
    RenderOptions options;
    options.sound = settings.sound_enabled;
    options.spedSound = settings.mute_sped_sound ? RenderOptions::SpedSound::Muted
                                                 : RenderOptions::SpedSound::PitchKept;
    options.spedGainDb = settings.sped_sound_db;
    return options;
}

void ReelJobQueue::startRender() {
    const Reel job = renderJob.reel;
    if (job.facts.known()) {
        ffmpeg->renderEditedVideo(job.source_path, job.timeline, job.facts, renderOptions(),
                                  job.rendered_path);
        return;
    }
    // Probed without waiting; the render starts once the clip's frame grid is known.
    dropFactsProbe();
    factsProbe = new ProbeJob(job.source_path, this);
    ProbeJob* probe = factsProbe;
    probe->finishedCallback = [this, probe](bool success, const QString&) {
        if (factsProbe == probe)
            factsProbe = nullptr;
        probe->deleteLater();
        onFactsProbed(success ? probe->streamFacts() : StreamFacts());
    };
    probe->start();
}

void ReelJobQueue::onFactsProbed(const StreamFacts& facts) {
    if (!renderJob.active)
        return;
    // A clip that cannot be probed still renders, on the timeline's own times.
    if (facts.known()) {
        renderJob.reel.facts = facts;
        const int index = resolveJobReel(renderJob);
        if (index >= 0)
            workspace->updateReelFacts(index, facts);
        // The markers and subtitles written before the grid was known follow the film now.
        ReelOutputWriter::writeExports(renderJob.reel, renderJob.reel.timeline);
    }
    const Reel job = renderJob.reel;
    ffmpeg->renderEditedVideo(job.source_path, job.timeline, job.facts, renderOptions(),
                              job.rendered_path);
}

void ReelJobQueue::probeFactsForExports(const ReelJob& job, const TimelineData& data) {
    if (job.reel.facts.known())
        return;
    dropExportProbe();
    exportProbe = new ProbeJob(job.reel.source_path, this);
    ProbeJob* probe = exportProbe;
    probe->finishedCallback = [this, probe, job, data](bool success, const QString&) {
        if (exportProbe == probe)
            exportProbe = nullptr;
        probe->deleteLater();
        if (!success || !probe->streamFacts().known())
            return;
        Reel reel = job.reel;
        reel.facts = probe->streamFacts();
        const int index = resolveJobReel(job);
        if (index >= 0) {
            workspace->updateReelFacts(index, reel.facts);
            if (savesWorkspace)
                workspace->save();
        }
        ReelOutputWriter::writeExports(reel, data);
    };
    probe->start();
}

void ReelJobQueue::dropFactsProbe() {
    dropProbe(factsProbe);
}

void ReelJobQueue::dropExportProbe() {
    dropProbe(exportProbe);
}

void ReelJobQueue::dropProbe(ProbeJob*& running) {
    if (!running)
        return;
    ProbeJob* probe = running;
    running = nullptr;
    probe->finishedCallback = nullptr;
    probe->cancel();
    probe->deleteLater();
}

} // namespace Tessaryn
