#pragma once

#include <QString>

namespace Tessaryn {

// ffmpeg writes its output beside the target under a scratch name that is renamed over the
// target only on success, so a failed or cancelled job never leaves a truncated film in place
// of a good one.
class PartialFile {
public:
    // "<folder>/.<base>.partial.<suffix>": the same folder keeps the final rename on one volume,
    // and the same suffix lets ffmpeg choose the same container.
    static QString pathFor(const QString& targetPath);

    // Replaces the target with the partial file; on failure removes the partial file, leaves
    // the target as it was and sets errorText.
    static bool commit(const QString& partialPath, const QString& targetPath, QString* errorText);

    // The end of a job: a successful one is committed, any other only loses its partial file.
    // Nothing happens without a partial path. Returns whether the job still counts as a success.
    static bool finish(const QString& partialPath, const QString& targetPath, bool success,
                       QString* errorText);
};

} // namespace Tessaryn
