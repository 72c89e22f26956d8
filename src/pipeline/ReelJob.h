#pragma once

#include "timeline/TimelineData.h"
#include "workspace/Reel.h"

#include <QString>

namespace Tessaryn {

enum class JobKind { Analysis, Render, Stitch };

// The reel a job was started for, remembered by name and project so that its result lands on
// that reel even when the list was re-sorted or another project opened meanwhile.
struct ReelJob {
    bool active = false;
    bool partOfBatch = false; // only the batch's own job advances the queue
    QString workspaceRoot;
    Reel reel; // paths are absolute, so results can still be written after a switch
};

// How a job ended, with everything its owner needs to tell the user.
struct JobOutcome {
    JobKind kind = JobKind::Analysis;
    bool success = false;
    QString reelName;      // empty for a stitch
    QString workspaceRoot; // the project the job was started in
    int reelIndex = -1;    // in the open project; -1 when the reel is no longer there
    QString outputPath;    // the cut or the master film
    QString error;
    TimelineData timeline; // an analysis's result
    // An analysis's files: the timeline and the exports, each attempted.
    QString timelinePath;
    bool timelineSaved = true;
    QStringList failedExports;
    bool workspaceSaved = true;
};

} // namespace Tessaryn
