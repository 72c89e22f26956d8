#pragma once

#include "timeline/TimelineData.h"

#include <QWidget>

#include <functional>

namespace Tessaryn {

// One reel's analysed timeline as a horizontal track in source time: ruler, one coloured block
// per segment and a gold playhead. Clicks and drags ask for a seek; hovering shows a segment's
// details.
class TimelineWidget : public QWidget {
public:
    // Unclamped: drags past either edge pass negative seconds or more than the duration.
    std::function<void(double)> seekRequestedCallback;

    explicit TimelineWidget(QWidget* parent = nullptr);

    // A timeline without a positive source duration keeps the current duration.
    void setTimelineData(const TimelineData& data);
    // totalSeconds sets the duration only while none is known yet.
    void setPlayheadSeconds(double seconds, double totalSeconds);

    double xToSeconds(int x) const;
    int secondsToX(double seconds) const;

    double playheadSeconds() const { return playhead; }
    double durationSeconds() const { return duration; }

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;

private:
    void seekTo(double x);
    void showSegmentTip(const QMouseEvent* event);
    static bool isUsableDuration(double seconds);

    TimelineData timeline;
    double playhead = 0.0;
    double duration = 0.0;
};

} // namespace Tessaryn
