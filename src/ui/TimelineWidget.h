#pragma once

#include "timeline/TimelineData.h"

#include <QWidget>

#include <functional>
#include <memory>

namespace Tessaryn {

class TimelineTrackEditor;

// One reel's analysed timeline as a horizontal track in source time: ruler, one coloured block
// per segment and a gold playhead. Clicks and drags ask for a seek; hovering shows a segment's
// details.
class TimelineWidget : public QWidget {
public:
    // Unclamped: drags past either edge pass negative seconds or more than the duration.
    std::function<void(double)> seekRequestedCallback;

    explicit TimelineWidget(QWidget* parent = nullptr);
    ~TimelineWidget() override;

    // A timeline without a positive source duration keeps the current duration.
    void setTimelineData(const TimelineData& data);
    // totalSeconds sets the duration only while none is known yet.
    void setPlayheadSeconds(double seconds, double totalSeconds);

    double xToSeconds(int x) const;
    int secondsToX(double seconds) const;

    double playheadSeconds() const { return playhead; }
    double durationSeconds() const { return duration; }
    const TimelineData& timelineData() const { return timeline; }
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

    TimelineData timeline;
    double playhead = 0.0;
    double duration = 0.0;
    std::unique_ptr<TimelineTrackEditor> editor;
};

} // namespace Tessaryn
