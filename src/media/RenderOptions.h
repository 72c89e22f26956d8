#pragma once

namespace Tessaryn {

// How a cut treats sound and sped-up pictures.
struct RenderOptions {
    enum class SpedSound { Muted, PitchKept };

    static constexpr double DefaultSpedGainDb = -12.0;

    // Off: the cut has no sound track at all.
    bool sound = true;
    SpedSound spedSound = SpedSound::PitchKept;
    // Applied to sped sound only, so that narration at 1x stands out.
    double spedGainDb = DefaultSpedGainDb;
};

} // namespace Tessaryn
