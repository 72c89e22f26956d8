#pragma once

#include "timeline/TimelineAxis.h"
#include "timeline/TimelineData.h"

#include <QWidget>

#include <functional>
#include <memory>

namespace Tessaryn {

class TimelineTrackEditor;

// One reel's analysed timeline as a horizontal track: ruler, one coloured block per segment and
// a gold playhead. It shows the source clip's time, or the edited film's (pauses take no room)
// when the player holds the cut; clicks and drags ask for a seek in the time shown, hovering
// shows a segment's details.
class TimelineWidget : public QWidget {
public:
    // Unclamped: drags past either edge pass negative seconds or more than the duration.
    std::function<void(double)> seekRequestedCallback;
    // Keys the track does not use (the player's Space, J/K/L, arrows); true when taken.
    std::function<bool(QKeyEvent* event)> unusedKeyCallback;

    explicit TimelineWidget(QWidget* parent = nullptr);
    ~TimelineWidget() override;

    // A timeline without a positive source duration keeps the current duration.
    void setTimelineData(const TimelineData& data);
    // Forgets the timeline and its duration: the player holds a clip that is no reel's.
    void clear();
    void setAxis(TimelineAxis axis);
    TimelineAxis axis() const { return shownAxis; }
    // totalSeconds sets the duration only while none is known yet.
    void setPlayheadSeconds(double seconds, double totalSeconds);

    double xToSeconds(int x) const;
    int secondsToX(double seconds) const;

    const TimelineData& timelineData() const { return timeline; }
    double playheadSeconds() const { return playhead; }
    double durationSeconds() const { return duration; }
    // Hand edits of the segments; inert until its edit callback is set.
    TimelineTrackEditor* trackEditor() const { return editor.get(); }

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;

private:
    void seekTo(double x);
    void showSegmentTip(const QMouseEvent* event);
    static bool isUsableDuration(double seconds);
    double axisDuration() const;
    double startOf(const Segment& segment) const;
    double endOf(const Segment& segment) const;

    TimelineData timeline;
    double playhead = 0.0;
    double duration = 0.0;
    TimelineAxis shownAxis = TimelineAxis::Source;
    std::unique_ptr<TimelineTrackEditor> editor;
};

} // namespace Tessaryn
