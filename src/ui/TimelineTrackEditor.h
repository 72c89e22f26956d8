#pragma once

#include "timeline/Classification.h"
#include "timeline/StreamFacts.h"

#include <QString>

#include <functional>

class QContextMenuEvent;
class QKeyEvent;
class QMenu;
class QMouseEvent;
class QPainter;

namespace Tessaryn {

class TimelineData;
class TimelineWidget;
struct Segment;

// The hand-editing gestures of the timeline track: selecting segments, dragging the boundary
// between two of them, the class, speed, split, merge and description commands by key, context
// menu and double-click. It works in source seconds and only while an edit callback is set;
// each edit is worked out on a copy (TimelineEdit) and handed to the callback with the name of
// its command, and the owner decides what becomes of it.
class TimelineTrackEditor {
public:
    std::function<void(const TimelineData& edited, const QString& commandName)> editCallback;
    // An edit that could not be made, with the reason.
    std::function<void(const QString& reason)> refusedCallback;

    explicit TimelineTrackEditor(TimelineWidget* view);

    // The clip's frame grid, for snapping, and the speed repetitive work plays at.
    void setStreamFacts(const StreamFacts& facts) { frameFacts = facts; }
    void setRepetitiveSpeed(double speed) { repetitiveSpeed = speed; }

    bool isEnabled() const { return static_cast<bool>(editCallback); }
    int selectionFirst() const { return first; }
    int selectionLast() const { return last; }
    void select(int from, int to);
    void clearSelection();
    // Keeps the selection inside a timeline of that many segments.
    void clampSelection(int segmentCount);

    // Each returns true when it consumed the event, so the track does not also seek.
    bool mousePress(const QMouseEvent* event);
    bool mouseMove(const QMouseEvent* event);
    bool mouseRelease(const QMouseEvent* event);
    bool mouseDoubleClick(const QMouseEvent* event);
    bool keyPress(const QKeyEvent* event);
    bool contextMenu(const QContextMenuEvent* event);
    // The commands for the selection, as the context menu shows them.
    void fillMenu(QMenu* menu);
    void paint(QPainter& painter) const;

    void changeClass(Classification classification);
    void setSpeed(double speed);
    // Asks for a factor within the allowed range.
    void askForSpeed();
    void splitAtPlayhead();
    void mergeWithNext();
    void askForDescription(int index);

private:
    // The track shows the source clip's time or the edited film's; edits are in source time.
    bool onEditedAxis() const;
    bool isShown(const Segment& segment) const;
    double trackStart(const Segment& segment) const;
    double trackEnd(const Segment& segment) const;
    double toSource(double trackSeconds) const;
    // Where the playhead's picture comes from in the source, and that segment's index.
    double playheadInSource(int* segmentIndex) const;
    // The boundary index (between segment i and i + 1) within reach of x, or -1.
    int boundaryNear(double x) const;
    int segmentAtX(double x) const;
    void apply(const QString& commandName, const std::function<QString(TimelineData&)>& edit);
    // Refuses with a reason when nothing is selected.
    bool hasSelection();

    TimelineWidget* view;
    StreamFacts frameFacts;
    double repetitiveSpeed = 10.0;
    int first = -1;
    int last = -1;
    int anchor = -1;
    int dragBoundary = -1;
    double dragSeconds = 0.0;
    int dragX = 0;
    bool dragMoved = false;
};

} // namespace Tessaryn
