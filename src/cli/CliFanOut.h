#pragma once

#include <QString>
#include <QStringList>

#include <cstdio>

namespace Tessaryn {

// Runs one child of this program per reel, at most `jobs` at once, each with the same command
// and one --reel. Children write only their own reel's files, so they need no coordination;
// their output lines are passed on whole. Returns the worst exit status of the children.
class CliFanOut {
public:
    static int run(const QString& program, const QStringList& commandArguments,
                   const QStringList& reels, int jobs, std::FILE* out, std::FILE* err);
};

} // namespace Tessaryn
