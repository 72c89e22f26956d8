#pragma once

#include "timeline/Classification.h"
#include "timeline/StreamFacts.h"
#include "timeline/TimelineAxis.h"

#include "timeline/TimelineData.h"

#include <QList>
#include <QString>

namespace Tessaryn {

class RenderPlan;

// One file format a reel's timeline is exported to for editing tools.
class TimelineExport {
public:
    virtual ~TimelineExport() = default;

    // The short name the format is asked for by, e.g. "csv".
    virtual QString formatName() const = 0;
    // The whole file's text for the timeline on the given axis.
    virtual QString text(const TimelineData& data, TimelineAxis axis) const = 0;

    // Makes the folder and replaces the file atomically; on failure the previous file stays and
    // error (when given) says why.
    virtual bool write(const TimelineData& data, const QString& path, TimelineAxis axis,
                       QString* error) const;

    // One reel in a workspace-wide export: its timeline on its own clip.
    struct Part {
        TimelineData data;
        StreamFacts facts;
        QString sourcePath;
    };
    // Whether the format can lay several clips one after another on one timeline.
    virtual bool holdsSequences() const { return false; }
    // The parts one after another, each on its own clip, on the first part's frame grid (a
    // part of another rate is conformed by time). Empty for formats without sequences.
    virtual QString sequenceText(const QList<Part>& parts, TimelineAxis axis) const;
    virtual bool writeSequence(const QList<Part>& parts, const QString& path, TimelineAxis axis,
                               QString* error) const;
    // The name a format gives the whole timeline; the source's file name when empty.
    void setTitle(const QString& text) { title = text; }

    // The clip's frame grid: once known, edited times come from the render plan, so the file
    // agrees with the rendered film to the frame. Unknown facts keep the timeline's own times.
    void setStreamFacts(const StreamFacts& facts) { streamFacts = facts; }
    // Marker timecodes at 1000/1001 rates as drop-frame labels instead of non-drop ones.
    void setDropFrame(bool enabled) { dropFrame = enabled; }
    // The absolute path of the reel's clip, for formats that reference the footage.
    void setSourcePath(const QString& path) { sourcePath = path; }
    // The hour label of the timeline's first frame, for formats with record timecode.
    void setRecordStartHour(int hour) { recordStartHour = hour; }

public:
    // The marker colours of the classes, as Resolve names them.
    static QString markerColor(Classification kind);

protected:
    // One segment's place on an axis; frames are on the clip's grid and -1 with unknown facts.
    struct Span {
        bool onAxis = false;
        double start = 0.0;
        double end = 0.0;
        qint64 startFrame = -1;
        qint64 endFrame = -1;
    };
    // One entry per segment of the timeline, in its order.
    QList<Span> spans(const TimelineData& data, TimelineAxis axis) const;

    // One clip of an editable timeline: source frames [first, first + frames) shown at every
    // step-th frame; pause marks a cut-out segment on the source axis.
    struct ClipSpan {
        int segmentIndex = -1;
        qint64 first = 0;
        qint64 frames = 0;
        int step = 1;
        bool pause = false;
    };
    // The edited axis takes the plan's pieces; the source axis every segment at 1x.
    static QList<ClipSpan> clipSpans(const TimelineData& data, const RenderPlan& plan,
                                     TimelineAxis axis);

    // write's folder making and atomic replacement, for one file of given text.
    static bool writeText(const QString& path, const QString& text, QString* error);

    // A copy of this export set up for one part of a sequence.
    template <typename Format> static Format forPart(const Format& format, const Part& part) {
        Format one(format);
        one.streamFacts = part.facts;
        one.sourcePath = part.sourcePath;
        return one;
    }
    // A frame count of a part's grid on the sequence's grid.
    static qint64 conform(qint64 frames, const RenderPlan& part, const RenderPlan& sequence);
    // The part's length on the axis in its own frames: the plan's film on the edited axis.
    static qint64 partFrames(const Part& part, const RenderPlan& plan, TimelineAxis axis);
    QString titleOr(const QString& fallback) const { return title.isEmpty() ? fallback : title; }

    StreamFacts streamFacts;
    bool dropFrame = false;
    QString sourcePath;
    int recordStartHour = 1;
    QString title;

    // Pauses have no length in the edited film, so they are left out there.
    static bool isOnAxis(const Segment& segment, TimelineAxis axis);
    static double startOn(const Segment& segment, TimelineAxis axis);
    static double endOn(const Segment& segment, TimelineAxis axis);
};

} // namespace Tessaryn
