#pragma once

#include "timeline/TimelineData.h"

#include <QList>
#include <QString>

#include <optional>

namespace Tessaryn {

// The undo and redo history of one reel's hand edits: whole timelines, each named after the
// edit that left it, so that undoing returns exactly to what was there before.
class TimelineHistory {
public:
    // Enough for a long session on one reel; the oldest steps are forgotten first.
    static constexpr int MaxSteps = 200;

    // Called after an edit with the timeline it replaced; nothing is left to redo.
    void record(const TimelineData& before, const QString& commandName);
    // The timeline to go back to, or nothing; current becomes the one a redo returns to.
    std::optional<TimelineData> undo(const TimelineData& current);
    std::optional<TimelineData> redo(const TimelineData& current);
    void clear();

    bool canUndo() const { return !undoSteps.isEmpty(); }
    bool canRedo() const { return !redoSteps.isEmpty(); }
    // The name of the edit an undo or redo would take back or repeat; empty when none.
    QString undoName() const;
    QString redoName() const;

private:
    struct Step {
        QString name;
        TimelineData timeline;
    };
    QList<Step> undoSteps;
    QList<Step> redoSteps;
};

} // namespace Tessaryn
