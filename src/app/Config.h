#pragma once

#include <QByteArray>
#include <QColor>
#include <QIcon>
#include <QPixmap>
#include <QString>
#include <QStringList>

namespace Tessaryn {

// Machine-level settings: where projects live, the remembered workspace, logo and icon.
// Holds no state; every answer is recomputed.
class Config {
public:
    static inline const QColor COLOR_GOLD{212, 175, 55};
    static inline const QColor COLOR_PAUSE_RED{231, 76, 60};
    static inline const QColor COLOR_TEXT_MUTED{160, 165, 175};
    static inline const QColor COLOR_ACCENT_GREEN{46, 204, 113};

    static QString getProjectsRoot();
    // The rule behind getProjectsRoot for a given executable folder and documents folder.
    static QString projectsRootFor(const QString& appDir, const QString& documentsDir,
                                   bool appDirWritable);
    // An installed program keeps its projects in the user's documents, never beside itself.
    static bool isInstalledLocation(const QString& appDir, bool appDirWritable);

    // Where footage is looked for until the user picks a folder: the W: footage drive on
    // Windows, the user's Videos folder elsewhere.
    static QString defaultFootageFolder();

    static QString getRecentWorkspacePath();
    static void setRecentWorkspacePath(const QString& path);
    // The main window's geometry as QWidget::saveGeometry wrote it; empty until first saved.
    static QByteArray getWindowGeometry();
    static void setWindowGeometry(const QByteArray& geometry);

    static QPixmap getAppLogoPixmap(int size);
    static QIcon getAppIcon();

    // Search orders for the logo and icon files, first match wins.
    static QStringList logoCandidates(const QString& appDir);
    static QStringList iconCandidates(const QString& appDir);
    // The first candidate that is a file and decodes, scaled to fit size × size; else null.
    static QPixmap loadFirstPixmap(const QStringList& candidates, int size);
    static QIcon loadFirstIcon(const QStringList& candidates);
    // The logo drawn when no image file is found.
    static QPixmap paintFallbackLogo(int size);
};

} // namespace Tessaryn
