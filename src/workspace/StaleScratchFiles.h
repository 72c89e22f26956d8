#pragma once

#include <QDateTime>
#include <QString>

namespace Tessaryn {

// Scratch files that render and stitch jobs leave beside their targets when they end without
// cleaning up (a crash, a killed process): partial films ".<base>.partial.<suffix>" and concat
// lists. Another process may be running a job of the same project right now, so only files
// that have been quiet for a while are taken for stale.
class StaleScratchFiles {
public:
    // A running ffmpeg writes its partial film continuously; one untouched for a minute has no
    // writer left.
    static constexpr qint64 PartialQuietSeconds = 60;
    // A concat list is written once and then only read, after every clip has been probed, so
    // its age says little about its job: it is given far longer.
    static constexpr qint64 ConcatListQuietSeconds = 60 * 60;

    static bool isPartialName(const QString& fileName);
    static bool isConcatListName(const QString& fileName);

    // Removes the stale scratch files directly in folder; returns how many went.
    static int removeFrom(const QString& folder,
                          const QDateTime& now = QDateTime::currentDateTimeUtc());
};

} // namespace Tessaryn
