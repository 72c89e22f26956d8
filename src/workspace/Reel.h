#pragma once

#include "timeline/StreamFacts.h"
#include "timeline/TimelineData.h"

#include <QString>

namespace Tessaryn {

// Stored as a plain integer in workspace.json; values outside the list are kept as read.
enum class ReelStatus : int {
    Pending = 0,
    Analyzing = 1,
    Analyzed = 2,
    Rendering = 3,
    Completed = 4,
    Error = 5,
};

// One source clip of a workspace with the files derived from it. All paths are absolute.
class Reel {
public:
    QString name;
    QString source_path;
    double duration = 0.0;
    ReelStatus status = ReelStatus::Pending;
    QString timeline_path;
    QString rendered_path;
    QString source_markers_path;
    QString edited_markers_path;
    QString source_srt_path;
    QString edited_srt_path;
    // Probed from the source once; unknown until then and probed again when missing.
    StreamFacts facts;
    TimelineData timeline; // kept in the file at timeline_path, not in workspace.json

    QString statusText() const;
    static QString statusText(ReelStatus status);

    // The rendered cut is older than the timeline it was cut from: a re-analysis or a hand
    // edit rewrote the timeline after the render, so the cut no longer shows the timeline.
    bool cutIsStale() const;
    // A rendered cut exists and still follows the timeline: it may be previewed and stitched.
    bool hasCurrentCut() const;
};

} // namespace Tessaryn
