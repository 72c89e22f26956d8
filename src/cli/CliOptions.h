#pragma once

#include <QString>
#include <QStringList>

namespace Tessaryn {

// The parsed command line of tessaryn-cli. Parsing never touches a file: it only checks that
// the words make a command.
class CliOptions {
public:
    static constexpr int MaxJobs = 64;

    QString command; // create, analyze, render, export, stitch, status
    QString workspace;
    QString footage;
    QString name;
    QStringList reels;
    QString analyzer;
    QString format;
    QString axis; // empty: both axes
    bool json = false;
    bool whole = false; // export: one file of the whole workspace
    bool help = false;
    int jobs = 1;

    static QStringList commands();
    // On a usage error returns false and sets error to one line naming the fault.
    static bool parse(const QStringList& arguments, CliOptions* options, QString* error);
    // The whole help, or one command's.
    static QString usage(const QString& command = QString());
};

} // namespace Tessaryn
