#include "timeline/TimelineHistory.h"

namespace Tessaryn {

void TimelineHistory::record(const TimelineData& before, const QString& commandName) {
    undoSteps.append({commandName, before});
    if (undoSteps.size() > MaxSteps)
        undoSteps.removeFirst();
    redoSteps.clear();
}

std::optional<TimelineData> TimelineHistory::undo(const TimelineData& current) {
    if (undoSteps.isEmpty())
        return std::nullopt;
    Step step = undoSteps.takeLast();
    redoSteps.append({step.name, current});
    return step.timeline;
}

std::optional<TimelineData> TimelineHistory::redo(const TimelineData& current) {
    if (redoSteps.isEmpty())
        return std::nullopt;
    Step step = redoSteps.takeLast();
    undoSteps.append({step.name, current});
    return step.timeline;
}

void TimelineHistory::clear() {
    undoSteps.clear();
    redoSteps.clear();
}

QString TimelineHistory::undoName() const {
    return undoSteps.isEmpty() ? QString() : undoSteps.last().name;
}

QString TimelineHistory::redoName() const {
    return redoSteps.isEmpty() ? QString() : redoSteps.last().name;
}

} // namespace Tessaryn
