#pragma once

#include "media/RenderOptions.h"

#include <QString>

namespace Tessaryn {

class RenderPlan;
struct StreamFacts;

// The ffmpeg filter graph that renders a plan frame for frame: the picture labelled [outv] and,
// when the cut has sound, the sound labelled [outa], both exactly as long as the plan.
class RenderGraph {
public:
    static constexpr int SampleRate = 48000;
    // One atempo step never speeds sound up by more than this.
    static constexpr double MaxTempoStep = 2.0;

    static QString build(const RenderPlan& plan, const StreamFacts& facts,
                         const RenderOptions& options);
    static bool hasSound(const RenderOptions& options) { return options.sound; }

    static QString video(const RenderPlan& plan, const StreamFacts& facts);
    static QString sound(const RenderPlan& plan, const StreamFacts& facts,
                         const RenderOptions& options);
    // "atempo=2,atempo=2,atempo=1.5" for 6; empty for 1.
    static QString tempoChain(double tempo);
    // Output samples before the given output frame, on the plan's rate.
    static qint64 samplesBefore(const RenderPlan& plan, qint64 frame);
};

} // namespace Tessaryn
