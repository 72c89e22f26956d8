#include "cli/CliOptions.h"

#include <QHash>

namespace Tessaryn {

namespace {

struct CommandInfo {
    QString synopsis;
    QStringList valueOptions;
    QStringList flags;
    QString summary;
};

const QHash<QString, CommandInfo>& commandTable() {
    static const QHash<QString, CommandInfo> table{
        {"create",
         {"create WORKSPACE_DIR --footage DIR [--name NAME]",
          {"--footage", "--name"},
          {},
          "Creates a workspace over a folder of clips."}},
        {"analyze",
         {"analyze WORKSPACE [--reel NAME]... [--analyzer gemini|local|hybrid] [--jobs N]",
          {"--reel", "--analyzer", "--jobs"},
          {},
          "Analyses the named reels, or every reel not analysed yet."}},
        {"render",
         {"render WORKSPACE [--reel NAME]... [--jobs N]",
          {"--reel", "--jobs"},
          {},
          "Renders the cut of the named reels, or of every analysed reel not rendered yet."}},
        {"export",
         {"export WORKSPACE [--reel NAME]... --format csv|srt|edl|otio|fcpxml|mlt "
          "[--axis source|edited] [--whole]",
          {"--reel", "--format", "--axis"},
          {"--whole"},
          "Writes the markers or timeline of analysed reels in one format, on one axis or "
          "both. --whole writes one edl, otio, fcpxml or mlt file of every analysed reel of "
          "the master film, in its order, into the release folder."}},
        {"stitch", {"stitch WORKSPACE", {}, {}, "Joins every rendered cut into the master film."}},
        {"status",
         {"status WORKSPACE [--json]",
          {},
          {"--json"},
          "Lists the reels with their statuses, durations and output paths."}},
    };
    return table;
}

bool takeJobs(const QString& value, int* jobs, QString* error) {
    bool ok = false;
    const int n = value.toInt(&ok);
    if (!ok || n < 1 || n > CliOptions::MaxJobs) {
        *error =
            QStringLiteral("--jobs takes a whole number from 1 to %1").arg(CliOptions::MaxJobs);
        return false;
    }
    *jobs = n;
    return true;
}

bool setValue(CliOptions* o, const QString& option, const QString& value, QString* error) {
    if (option == QLatin1String("--footage"))
        o->footage = value;
    else if (option == QLatin1String("--name"))
        o->name = value;
    else if (option == QLatin1String("--reel"))
        o->reels << value;
    else if (option == QLatin1String("--analyzer"))
        o->analyzer = value;
    else if (option == QLatin1String("--format"))
        o->format = value;
    else if (option == QLatin1String("--axis")) {
        if (value != QLatin1String("source") && value != QLatin1String("edited")) {
            *error = QStringLiteral("--axis takes source or edited, not '%1'").arg(value);
            return false;
        }
        o->axis = value;
    } else if (option == QLatin1String("--jobs"))
        return takeJobs(value, &o->jobs, error);
    return true;
}

} // namespace

QStringList CliOptions::commands() {
    return {"create", "analyze", "render", "export", "stitch", "status"};
}

QString CliOptions::usage(const QString& command) {
    const auto& table = commandTable();
    if (table.contains(command)) {
        const CommandInfo& info = table[command];
        return QStringLiteral("usage: tessaryn-cli %1\n%2\n").arg(info.synopsis, info.summary);
    }
    QString text = QStringLiteral("usage: tessaryn-cli COMMAND ...\n\nCommands:\n");
    for (const QString& name : commands())
        text += QStringLiteral("  tessaryn-cli %1\n").arg(table[name].synopsis);
    text += QStringLiteral("\nEvery command takes --help. Progress goes to standard error, results "
                           "to standard output.\nExit status: 0 when every requested reel "
                           "succeeded, 1 when a job failed, 2 on a usage error.\n");
    return text;
}

bool CliOptions::parse(const QStringList& arguments, CliOptions* o, QString* error) {
    *o = CliOptions();
    if (arguments.isEmpty()) {
        *error = QStringLiteral("no command given (try --help)");
        return false;
    }
    o->command = arguments.first();
    if (o->command == QLatin1String("--help") || o->command == QLatin1String("-h")) {
        o->command.clear();
        o->help = true;
        return true;
    }
    const auto& table = commandTable();
    if (!table.contains(o->command)) {
        *error = QStringLiteral("unknown command '%1' (try --help)").arg(o->command);
        return false;
    }
    const CommandInfo& info = table[o->command];
    for (int i = 1; i < arguments.size(); ++i) {
        const QString& word = arguments[i];
        if (word == QLatin1String("--help") || word == QLatin1String("-h")) {
            o->help = true;
            return true;
        }
        if (info.flags.contains(word)) {
            o->json = o->json || word == QLatin1String("--json");
            o->whole = o->whole || word == QLatin1String("--whole");
        } else if (info.valueOptions.contains(word)) {
            if (i + 1 >= arguments.size()) {
                *error = QStringLiteral("%1 needs a value").arg(word);
                return false;
            }
            if (!setValue(o, word, arguments[++i], error))
                return false;
        } else if (word.startsWith(QLatin1Char('-'))) {
            *error = QStringLiteral("%1 does not take %2").arg(o->command, word);
            return false;
        } else if (o->workspace.isEmpty()) {
            o->workspace = word;
        } else {
            *error = QStringLiteral("unexpected argument '%1'").arg(word);
            return false;
        }
    }
    if (o->workspace.isEmpty()) {
        *error = QStringLiteral("%1 needs a workspace folder").arg(o->command);
        return false;
    }
    if (o->command == QLatin1String("create") && o->footage.isEmpty()) {
        *error = QStringLiteral("create needs --footage DIR");
        return false;
    }
    if (o->command == QLatin1String("export") && o->format.isEmpty()) {
        *error = QStringLiteral("export needs --format");
        return false;
    }
    if (o->whole && !o->reels.isEmpty()) {
        *error = QStringLiteral("--whole takes the reels of the master film, not --reel");
        return false;
    }
    return true;
}

} // namespace Tessaryn
