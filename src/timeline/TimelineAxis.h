#pragma once

namespace Tessaryn {

// The time axis an export is written on: the source clip's, or the edited film's (where pauses
// have no length and are left out).
enum class TimelineAxis { Source, Edited };

} // namespace Tessaryn
