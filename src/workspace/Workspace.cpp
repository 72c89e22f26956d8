#include "workspace/Workspace.h"

#include "app/AppInfo.h"
#include "app/Config.h"
#include "timeline/SafeFile.h"
#include "workspace/FootageCheck.h"
#include "workspace/StaleScratchFiles.h"

#include <QCollator>
#include <QDir>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonObject>
#include <QLocale>

#include <QHash>
#include <QSet>

#include <algorithm>
#include <optional>
#include <system_error>
#include <thread>
#include <vector>

namespace Tessaryn {

namespace {

const char* const Subfolders[] = {"timelines", "markers", "subtitles",
                                  "rendered",  "release", "temp"};

QJsonObject reelToJson(const Reel& r) {
    QJsonObject o;
    o.insert("name", r.name);
    o.insert("source_path", r.source_path);
    o.insert("duration", r.duration);
    o.insert("status", static_cast<int>(r.status));
    o.insert("timeline_path", r.timeline_path);
    o.insert("rendered_path", r.rendered_path);
    o.insert("source_markers_path", r.source_markers_path);
    o.insert("edited_markers_path", r.edited_markers_path);
    o.insert("source_srt_path", r.source_srt_path);
    o.insert("edited_srt_path", r.edited_srt_path);
    r.facts.writeTo(o);
    return o;
}

Reel reelFromJson(const QJsonObject& o) {
    Reel r;
    r.name = o.value(QLatin1String("name")).toString();
    r.source_path = o.value(QLatin1String("source_path")).toString();
    r.duration = o.value(QLatin1String("duration")).toDouble(0.0);
    r.status = static_cast<ReelStatus>(o.value(QLatin1String("status")).toInt(0));
    r.timeline_path = o.value(QLatin1String("timeline_path")).toString();
    r.rendered_path = o.value(QLatin1String("rendered_path")).toString();
    r.source_markers_path = o.value(QLatin1String("source_markers_path")).toString();
    r.edited_markers_path = o.value(QLatin1String("edited_markers_path")).toString();
    r.source_srt_path = o.value(QLatin1String("source_srt_path")).toString();
    r.edited_srt_path = o.value(QLatin1String("edited_srt_path")).toString();
    r.facts = StreamFacts::readFrom(o);
    return r;
}

bool isClipFile(const QString& fileName) {
    for (const char* suffix : {".mov", ".mp4", ".mkv", ".m4v"}) {
        if (fileName.endsWith(QLatin1String(suffix), Qt::CaseInsensitive))
            return true;
    }
    return false;
}

QString stringOr(const QJsonObject& o, const char* key, const QString& fallback) {
    const QJsonValue v = o.value(QLatin1String(key));
    return v.isString() ? v.toString() : fallback;
}

QStringList stringList(const QJsonValue& value) {
    QStringList out;
    for (const QJsonValue& v : value.toArray()) {
        if (v.isString())
            out << v.toString();
    }
    return out;
}

struct StoredTimeline {
    std::optional<TimelineData> data;
    bool fromStoredPath = false; // found only where an older workspace.json said it was
};

std::optional<TimelineData> readTimeline(const QString& path) {
    if (const auto obj = SafeFile::readJsonObject(path))
        return TimelineData::fromJson(*obj);
    return std::nullopt;
}

// Reading and parsing the stored timelines dominates opening a large project, so the files are
// spread over the cores. Workers touch only their own slots; QString copies are thread-safe.
std::vector<StoredTimeline> readTimelines(const std::vector<QString>& derived,
                                          const std::vector<QString>& stored) {
    const int count = int(derived.size());
    std::vector<StoredTimeline> results(derived.size());
    const int wanted = std::clamp(int(std::thread::hardware_concurrency()), 1, 8);
    const int threads = count < 64 ? 1 : wanted;
    const auto work = [&](int first) {
        for (int i = first; i < count; i += threads) {
            results[i].data = readTimeline(derived[i]);
            // The stored path is only read, and only when nothing lies at the derived one.
            if (results[i].data || stored[i].isEmpty() || stored[i] == derived[i] ||
                QFileInfo::exists(derived[i]))
                continue;
            results[i].data = readTimeline(stored[i]);
            results[i].fromStoredPath = results[i].data.has_value();
        }
    };

    std::vector<std::thread> pool;
    int started = 1;
    try {
        for (; started < threads; ++started)
            pool.emplace_back(work, started);
    } catch (const std::system_error&) {
        // No more threads to be had: this thread takes the remaining strides.
    }
    work(0);
    for (int first = started; first < threads; ++first)
        work(first);
    for (std::thread& t : pool)
        t.join();
    return results;
}

// Digits compare as numbers and letters by the user's language, ignoring case.
QCollator naturalCollator() {
    // The C locale collates by code units and ignores numeric mode: English rules stand in.
    QLocale locale;
    if (locale.language() == QLocale::C)
        locale = QLocale(QLocale::English, QLocale::UnitedStates);
    QCollator collator(locale);
    collator.setNumericMode(true);
    collator.setCaseSensitivity(Qt::CaseInsensitive);
    return collator;
}

} // namespace

Workspace::Workspace(QObject* parent)
    : QObject(parent), source_dir(Config::defaultFootageFolder()) {}

bool Workspace::create(const QString& rootPath, const QString& projectName,
                       const QString& sourceDir) {
    // Reel paths are stored absolute, so the root they are built from must be absolute too.
    root_path = rootPath.isEmpty() ? rootPath : QFileInfo(rootPath).absoluteFilePath();
    project_name = projectName;
    source_dir = sourceDir.isEmpty() ? Config::defaultFootageFolder() : sourceDir;
    // Reels of a project loaded earlier must not leak into the new one, nor its choices.
    reels.clear();
    release_order.clear();
    release_excluded.clear();
    metadata = ProjectMetadata();
    usage = UsageTotals();

    // A folder that cannot be made surfaces as the failure of save().
    QDir root(root_path);
    root.mkpath(QStringLiteral("."));
    for (const char* name : Subfolders)
        root.mkpath(QString::fromLatin1(name));

    scanSourceFootage();
    const bool saved = save();
    if (saved && remembersRecent)
        Config::setRecentWorkspacePath(root_path);
    return saved;
}

bool Workspace::load(const QString& path) {
    const QFileInfo info(path);
    QString root;
    QString file;
    if (info.isDir()) {
        root = info.absoluteFilePath();
        file = QDir(root).filePath(workspaceFileName());
    } else {
        root = info.absolutePath();
        file = path;
    }

    const std::optional<QJsonObject> doc = SafeFile::readJsonObject(file, MaxWorkspaceFileBytes);
    if (!doc)
        return false;

    root_path = root;
    project_name = stringOr(*doc, "project_name", AppInfo::defaultProjectName());
    source_dir = stringOr(*doc, "source_dir", Config::defaultFootageFolder());
    reels.clear();
    release_order = stringList(doc->value("release_order"));
    release_excluded = stringList(doc->value("release_excluded"));
    metadata = ProjectMetadata::fromJson(doc->value("metadata").toObject());
    usage = UsageTotals::fromJson(doc->value("usage").toObject());

    const QJsonArray array = doc->value("reels").toArray();
    reels.reserve(array.size());
    std::vector<QString> storedTimelinePaths;
    storedTimelinePaths.reserve(array.size());
    for (const QJsonValue& value : array) {
        Reel reel = reelFromJson(value.toObject());
        storedTimelinePaths.push_back(reel.timeline_path);
        derivePaths(reel);
        reels.append(reel);
    }
    readStoredTimelines(storedTimelinePaths);

    // Jobs of this project run by another process may still be writing (see StaleScratchFiles).
    StaleScratchFiles::removeFrom(getRenderedDir());
    StaleScratchFiles::removeFrom(getReleaseDir());

    scanSourceFootage();
    if (remembersRecent)
        Config::setRecentWorkspacePath(root_path);
    if (onReelsChanged)
        onReelsChanged();
    return true;
}

bool Workspace::save() {
    if (root_path.isEmpty())
        return false;
    QJsonArray array;
    for (const Reel& reel : reels)
        array.append(reelToJson(reel));
    QJsonObject obj;
    obj.insert("project_name", project_name);
    obj.insert("source_dir", source_dir);
    obj.insert("reels", array);
    obj.insert("release_order", QJsonArray::fromStringList(release_order));
    obj.insert("release_excluded", QJsonArray::fromStringList(release_excluded));
    obj.insert("metadata", metadata.toJson());
    obj.insert("usage", usage.toJson());
    return SafeFile::writeJsonObject(QDir(root_path).filePath(workspaceFileName()), obj);
}

void Workspace::scanSourceFootage() {
    const QDir source(source_dir);
    if (!QFileInfo(source_dir).isDir())
        return;

    // Clip extensions match in any letter case. Checked by hand: name filters run a regular
    // expression per file and pattern, which dominated scanning a large footage folder.
    const QFileInfoList files = source.entryInfoList(QDir::Files, QDir::Name);
    QSet<QString> known;
    known.reserve(reels.size() + files.size());
    for (const Reel& reel : std::as_const(reels))
        known.insert(reel.name);
    for (const QFileInfo& file : files) {
        if (!isClipFile(file.fileName()))
            continue;
        // A link out of the folder, or a document under a clip's name, is no reel.
        if (file.isSymLink() && !FootageCheck::problem(file.filePath(), source_dir).isEmpty())
            continue;
        const QString name = file.completeBaseName();
        if (known.contains(name))
            continue;
        known.insert(name);
        reels.append(newReelFor(name, file.absoluteFilePath()));
    }

    std::stable_sort(reels.begin(), reels.end(),
                     [](const Reel& a, const Reel& b) { return a.name < b.name; });
    if (onReelsChanged)
        onReelsChanged();
}

void Workspace::readStoredTimelines(const std::vector<QString>& storedPaths) {
    std::vector<QString> derivedPaths;
    derivedPaths.reserve(reels.size());
    for (const Reel& reel : std::as_const(reels))
        derivedPaths.push_back(reel.timeline_path);
    std::vector<StoredTimeline> timelines = readTimelines(derivedPaths, storedPaths);

    for (int i = 0; i < reels.size(); ++i) {
        Reel& reel = reels[i];
        // A job that was running when the studio closed did not finish: the files tell what is.
        if (reel.status == ReelStatus::Analyzing || reel.status == ReelStatus::Rendering)
            reel.status = ReelStatus::Pending;
        if (timelines[i].data) {
            reel.timeline = std::move(*timelines[i].data);
            if (reel.status == ReelStatus::Pending)
                reel.status = ReelStatus::Analyzed;
        }
        // workspace.json records only derived paths from now on: a timeline found at its old
        // place alone is copied to its derived one, or the next load would miss it. A failure
        // leaves it readable where it was for this session.
        if (timelines[i].fromStoredPath && QDir().mkpath(getTimelinesDir()))
            SafeFile::writeJsonObject(reel.timeline_path, reel.timeline.toJson());
        if (QFileInfo::exists(reel.rendered_path))
            reel.status = ReelStatus::Completed;
    }
}

QString Workspace::fileStem(const QString& name) {
    // Both separators count whatever the platform: the file may come from another one.
    QString flat = name;
    flat.replace(QLatin1Char('\\'), QLatin1Char('/'));
    QStringList kept;
    for (QString part : flat.split(QLatin1Char('/'), Qt::SkipEmptyParts)) {
        if (part == QLatin1String(".") || part == QLatin1String(".."))
            continue;
        for (QChar& c : part) {
            if (c.unicode() < 0x20 || QStringLiteral(":*?\"<>|").contains(c))
                c = QLatin1Char('_');
        }
        kept << part;
    }
    return kept.join(QLatin1Char('_'));
}

void Workspace::derivePaths(Reel& reel) const {
    const QString stem = fileStem(reel.name);
    reel.timeline_path = QDir(getTimelinesDir()).filePath(stem + "_timeline.json");
    reel.rendered_path = QDir(getRenderedDir()).filePath(stem + "_edited.mp4");
    reel.source_markers_path = QDir(getMarkersDir()).filePath(stem + "_source_markers.csv");
    reel.edited_markers_path = QDir(getMarkersDir()).filePath(stem + "_edited_markers.csv");
    reel.source_srt_path = QDir(getSubtitlesDir()).filePath(stem + "_source.srt");
    reel.edited_srt_path = QDir(getSubtitlesDir()).filePath(stem + "_edited.srt");
}

Reel Workspace::newReelFor(const QString& name, const QString& sourcePath) const {
    Reel reel;
    reel.name = name;
    reel.source_path = sourcePath;
    derivePaths(reel);
    if (QFileInfo::exists(reel.rendered_path))
        reel.status = ReelStatus::Completed;
    else if (QFileInfo::exists(reel.timeline_path))
        reel.status = ReelStatus::Analyzed;
    return reel;
}

QString Workspace::subdir(const char* name) const {
    return QDir(root_path).filePath(QString::fromLatin1(name));
}

QString Workspace::getTimelinesDir() const {
    return subdir("timelines");
}
QString Workspace::getMarkersDir() const {
    return subdir("markers");
}
QString Workspace::getSubtitlesDir() const {
    return subdir("subtitles");
}
QString Workspace::getRenderedDir() const {
    return subdir("rendered");
}
QString Workspace::getReleaseDir() const {
    return subdir("release");
}
QString Workspace::getTempDir() const {
    return subdir("temp");
}

QString Workspace::getMasterPath() const {
    return QDir(getReleaseDir()).filePath(fileStem(project_name) + "_Master_Release.mp4");
}

bool Workspace::naturalLess(const QString& a, const QString& b) {
    // Made once: building a collator costs far more than one comparison.
    static const QCollator collator = naturalCollator();
    const int order = collator.compare(a, b);
    // Names the collation holds equal still get one fixed order.
    return order != 0 ? order < 0 : a < b;
}

QList<const Reel*> Workspace::filmOrder() const {
    QHash<QString, const Reel*> byName;
    for (const Reel& reel : reels)
        byName.insert(reel.name, &reel);
    QList<const Reel*> ordered;
    QSet<QString> placed;
    for (const QString& name : release_order) {
        const Reel* reel = byName.value(name);
        if (reel && !placed.contains(name)) {
            ordered << reel;
            placed.insert(name);
        }
    }
    QList<const Reel*> rest;
    for (const Reel& reel : reels) {
        if (!placed.contains(reel.name))
            rest << &reel;
    }
    std::stable_sort(rest.begin(), rest.end(),
                     [](const Reel* a, const Reel* b) { return naturalLess(a->name, b->name); });
    return ordered + rest;
}

QList<const Reel*> Workspace::releaseOrder() const {
    QList<const Reel*> ordered;
    for (const Reel* reel : filmOrder()) {
        if (!release_excluded.contains(reel->name))
            ordered << reel;
    }
    return ordered;
}

void Workspace::setReleaseOrder(const QStringList& order, const QStringList& excluded) {
    release_order = order;
    release_order.removeDuplicates();
    release_excluded = excluded;
    release_excluded.removeDuplicates();
}

Reel* Workspace::getReel(int index) {
    if (index < 0 || index >= reels.size())
        return nullptr;
    return &reels[index];
}

Reel* Workspace::findReelByName(const QString& name) {
    for (Reel& reel : reels) {
        if (reel.name == name)
            return &reel;
    }
    return nullptr;
}

void Workspace::updateReelStatus(int index, ReelStatus status) {
    Reel* reel = getReel(index);
    if (!reel)
        return;
    reel->status = status;
    if (onReelStatusChanged)
        onReelStatusChanged(index, status);
}

void Workspace::updateReelFacts(int index, const StreamFacts& facts) {
    if (Reel* reel = getReel(index))
        reel->facts = facts;
}

void Workspace::updateReelTimeline(int index, const TimelineData& data) {
    Reel* reel = getReel(index);
    if (!reel)
        return;
    reel->timeline = data;
    reel->status = ReelStatus::Analyzed;
    if (onReelStatusChanged)
        onReelStatusChanged(index, ReelStatus::Analyzed);
}

void Workspace::replaceReelTimeline(int index, const TimelineData& data) {
    Reel* reel = getReel(index);
    if (!reel)
        return;
    reel->timeline = data;
    if (onReelStatusChanged)
        onReelStatusChanged(index, reel->status);
}

} // namespace Tessaryn
