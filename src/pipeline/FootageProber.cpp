#include "pipeline/FootageProber.h"

#include "media/ProbeJob.h"
#include "timeline/StreamFacts.h"
#include "workspace/Workspace.h"

namespace Tessaryn {

FootageProber::FootageProber(Workspace* model, QObject* parent)
    : QObject(parent), workspace(model) {}

FootageProber::~FootageProber() {
    reelProbedCallback = nullptr;
    finishedCallback = nullptr;
    stop();
}

void FootageProber::start() {
    stop();
    root = workspace->root_path;
    pending.clear();
    for (const Reel& reel : std::as_const(workspace->reels)) {
        if (!reel.facts.known())
            pending << reel.name;
    }
    probeNext();
}

void FootageProber::stop() {
    pending.clear();
    if (ProbeJob* running = probe) {
        probe = nullptr;
        running->finishedCallback = nullptr;
        running->cancel();
        running->deleteLater();
    }
}

void FootageProber::probeNext() {
    while (!pending.isEmpty()) {
        current = pending.takeFirst();
        const Reel* reel = workspace->findReelByName(current);
        if (!reel || reel->facts.known() || workspace->root_path != root)
            continue;
        probe = new ProbeJob(reel->source_path, this);
        ProbeJob* started = probe;
        started->finishedCallback = [this, started](bool success, const QString&) {
            if (probe != started)
                return;
            onProbed(success);
        };
        started->start();
        return;
    }
    if (finishedCallback)
        finishedCallback();
}

void FootageProber::onProbed(bool success) {
    ProbeJob* done = probe;
    probe = nullptr;
    done->deleteLater();
    // The answer belongs to the project it was asked for; another one may be open by now.
    if (success && workspace->root_path == root) {
        for (int i = 0; i < workspace->reels.size(); ++i) {
            if (workspace->reels.at(i).name != current)
                continue;
            StreamFacts facts = done->streamFacts();
            workspace->updateReelFacts(i, facts);
            if (facts.duration > 0.0)
                workspace->reels[i].duration = facts.duration;
            if (reelProbedCallback)
                reelProbedCallback(i);
        }
    }
    probeNext();
}

} // namespace Tessaryn
