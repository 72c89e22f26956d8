#include "app/Config.h"

#include "app/AppInfo.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QImage>
#include <QPainter>
#include <QPainterPath>
#include <QPolygonF>
#include <QSettings>
#include <QStandardPaths>

namespace Tessaryn {

namespace {

const char* const RecentWorkspaceKey = "recentWorkspace";

// Settings left by the two older installations; read, never written.
const char* const OlderApplicationNames[] = {"Brassmoor", "Quorvane Studio"};

QString applicationDir() {
    return QCoreApplication::instance() ? QCoreApplication::applicationDirPath() : QString();
}

} // namespace

bool Config::isInstalledLocation(const QString& appDir, bool appDirWritable) {
    if (appDir.contains(QLatin1String("Program Files"), Qt::CaseInsensitive))
        return true;
#ifdef _WIN32
    Q_UNUSED(appDirWritable);
    return false;
#else
    return appDir.startsWith(QLatin1String("/usr/")) || appDir.startsWith(QLatin1String("/opt/")) ||
           !appDirWritable;
#endif
}

QString Config::projectsRootFor(const QString& appDir, const QString& documentsDir,
                                bool appDirWritable) {
    if (isInstalledLocation(appDir, appDirWritable) && !documentsDir.isEmpty())
        return QDir(documentsDir).filePath(QStringLiteral("Tessaryn/projects"));

    QDir dir(appDir);
    const QString last = dir.dirName();
    if (last == QLatin1String("bin") || last == QLatin1String("linux") ||
        last == QLatin1String("windows")) {
        dir.setPath(QDir::cleanPath(dir.filePath(QStringLiteral(".."))));
        if (dir.dirName() == QLatin1String("build"))
            dir.setPath(QDir::cleanPath(dir.filePath(QStringLiteral(".."))));
    }
    return dir.filePath(QStringLiteral("projects"));
}

QString Config::getProjectsRoot() {
    const QString appDir = applicationDir();
    const QString documents = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    return projectsRootFor(appDir, documents, QFileInfo(appDir).isWritable());
}

QString Config::defaultFootageFolder() {
#ifdef _WIN32
    return QStringLiteral("W:/");
#else
    const QString videos = QStandardPaths::writableLocation(QStandardPaths::MoviesLocation);
    return videos.isEmpty() ? QDir::homePath() : videos;
#endif
}

QString Config::getRecentWorkspacePath() {
    const QString org = AppInfo::organizationName();
    const QString current =
        QSettings(org, AppInfo::applicationName()).value(RecentWorkspaceKey).toString();
    if (!current.isEmpty())
        return current;
    QString older;
    for (const char* app : OlderApplicationNames) {
        older = QSettings(org, QString::fromLatin1(app)).value(RecentWorkspaceKey).toString();
        if (!older.isEmpty())
            break;
    }
    return older;
}

void Config::setRecentWorkspacePath(const QString& path) {
    QSettings(AppInfo::organizationName(), AppInfo::applicationName())
        .setValue(RecentWorkspaceKey, path);
}

QByteArray Config::getWindowGeometry() {
    return QSettings(AppInfo::organizationName(), AppInfo::applicationName())
        .value(QStringLiteral("window/geometry"))
        .toByteArray();
}

void Config::setWindowGeometry(const QByteArray& geometry) {
    QSettings(AppInfo::organizationName(), AppInfo::applicationName())
        .setValue(QStringLiteral("window/geometry"), geometry);
}

QStringList Config::logoCandidates(const QString& appDir) {
    QStringList list;
    if (!appDir.isEmpty()) {
        const QDir dir(appDir);
        for (const char* rel :
             {"resources/quorvane_studio_logo.png", "../resources/quorvane_studio_logo.png",
              "../../resources/quorvane_studio_logo.png", "app.ico", "resources/app.ico",
              "../../resources/app.ico"})
            list << dir.filePath(QString::fromLatin1(rel));
    }
    list << QStringLiteral("resources/quorvane_studio_logo.png")
         << QStringLiteral("resources/app.ico")
         << QStringLiteral(":/resources/quorvane_studio_logo.png")
         << QStringLiteral(":/resources/app.ico");
    return list;
}

QStringList Config::iconCandidates(const QString& appDir) {
    QStringList list;
    if (!appDir.isEmpty()) {
        const QDir dir(appDir);
        for (const char* rel : {"app.ico", "resources/app.ico", "../../resources/app.ico"})
            list << dir.filePath(QString::fromLatin1(rel));
    }
    list << QStringLiteral("resources/app.ico");
    return list;
}

QPixmap Config::loadFirstPixmap(const QStringList& candidates, int size) {
    for (const QString& path : candidates) {
        if (!QFileInfo(path).isFile())
            continue;
        const QPixmap pixmap(path);
        if (!pixmap.isNull())
            return pixmap.scaled(size, size, Qt::KeepAspectRatio, Qt::SmoothTransformation);
    }
    return QPixmap();
}

QIcon Config::loadFirstIcon(const QStringList& candidates) {
    for (const QString& path : candidates) {
        if (!QFileInfo(path).isFile())
            continue;
        const QIcon icon(path);
        if (!icon.isNull() && !icon.availableSizes().isEmpty())
            return icon;
    }
    return QIcon();
}

QPixmap Config::paintFallbackLogo(int size) {
    QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);

    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);

    const int inset = size < 80 ? 4 : size / 16;
    const int side = size - 2 * inset;
    const int radius = size / 5;
    const double penWidth = size <= 83 ? 2.0 : double((size / 4) / 7);
    painter.setPen(QPen(COLOR_GOLD, penWidth, Qt::SolidLine, Qt::SquareCap, Qt::BevelJoin));
    painter.setBrush(QColor(20, 22, 30));
    painter.drawRoundedRect(QRectF(inset, inset, side, side), radius, radius, Qt::AbsoluteSize);

    const int c = size / 2;
    const int h = size > 44 ? size / 5 : 8;
    const int d = size > 44 ? size / 10 : 4;
    const QPolygonF triangle({QPointF(c - d, c - h), QPointF(c - d, c + h), QPointF(c + h, c)});
    painter.setPen(Qt::NoPen);
    painter.setBrush(COLOR_GOLD);
    painter.drawPolygon(triangle, Qt::OddEvenFill);
    painter.end();

    return QPixmap::fromImage(image);
}

QPixmap Config::getAppLogoPixmap(int size) {
    if (size < 1)
        size = 180;
    const QPixmap found = loadFirstPixmap(logoCandidates(applicationDir()), size);
    return found.isNull() ? paintFallbackLogo(size) : found;
}

QIcon Config::getAppIcon() {
    const QIcon found = loadFirstIcon(iconCandidates(applicationDir()));
    return found.isNull() ? QIcon(getAppLogoPixmap(64)) : found;
}

} // namespace Tessaryn
