#pragma once

#include "timeline/TimelineExport.h"

#include <QStringList>

namespace Tessaryn {

// A CMX3600 edit decision list that carries only markers, as DaVinci Resolve reads it with
// "Timeline Markers from EDL": one event per segment at its first frame, with a comment
// "|C:ResolveColor<colour> |M:<name> |D:<frames>". Record timecode starts at the record start
// (01:00:00:00 unless set), at the clip's rate and drop-frame setting. Segments that begin on
// the same frame become one marker. It names no source and carries no retimes or sound.
class EdlMarkerExport : public TimelineExport {
public:
    // Events per file; more go on in further files.
    static constexpr int MaxEvents = 999;

    QString formatName() const override;
    // The first file's text.
    QString text(const TimelineData& data, TimelineAxis axis) const override;
    // Writes "<name>.edl" and, past MaxEvents markers, "<name>_2.edl" and so on; further files
    // left from a longer earlier list are removed, so an import never mixes two lists.
    bool write(const TimelineData& data, const QString& path, TimelineAxis axis,
               QString* error) const override;

    bool holdsSequences() const override { return true; }
    QString sequenceText(const QList<Part>& parts, TimelineAxis axis) const override;
    bool writeSequence(const QList<Part>& parts, const QString& path, TimelineAxis axis,
                       QString* error) const override;

    // Every file's text, MaxEvents markers each; one file even without markers.
    QStringList files(const TimelineData& data, TimelineAxis axis) const;
    // The path of the n-th file (from 0) written for the given path.
    static QString partPath(const QString& path, int part);

private:
    struct Mark {
        qint64 frame = 0;
        qint64 frames = 1;
        QString color;
        QString name;
    };
    QList<Mark> marks(const TimelineData& data, TimelineAxis axis) const;
    QList<Mark> sequenceMarks(const QList<Part>& parts, TimelineAxis axis) const;
    QStringList filesFor(const QList<Mark>& list) const;
    static bool writeFiles(const QStringList& texts, const QString& path, QString* error);
    // Resolve keeps one marker a frame, so a later mark on a taken frame joins the one there.
    static void addMark(QList<Mark>& list, const Mark& mark);
    QString timecode(qint64 frame) const;
    QString header(int part) const;
};

} // namespace Tessaryn
