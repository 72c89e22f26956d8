#pragma once

#include <QString>
#include <QStringList>

namespace Tessaryn {

class Reel;
class TimelineData;

// The one writer of a reel's analysis outputs: its timeline file and every export format on
// both axes. Every file is attempted even after one fails; each is written atomically and only
// inside the reel's own derived paths, so reel jobs running side by side never share a file.
class ReelOutputWriter {
public:
    struct Result {
        bool timelineSaved = false;
        QStringList failedFiles; // exports that could not be written
    };

    static Result writeAnalysis(const Reel& reel, const TimelineData& data);
    // The timeline file alone, as after a hand edit: the reel's cut and exports are then older
    // than it, which is how they are known to be stale.
    static bool writeTimeline(const Reel& reel, const TimelineData& data);
    // Every format on both axes; the paths that could not be written.
    static QStringList writeExports(const Reel& reel, const TimelineData& data);

    // The format names written after an analysis and offered by the command line.
    static QStringList exportFormats();
    // Where a format's file for the reel lives, on the source or the edited axis.
    static QString exportPath(const Reel& reel, const QString& format, bool edited);
    // Laid on the reel's stream facts when known (drop-frame markers as the settings say), on
    // the timeline's own times otherwise.
    static bool writeExport(const Reel& reel, const TimelineData& data, const QString& format,
                            bool edited, QString* error);
};

} // namespace Tessaryn
