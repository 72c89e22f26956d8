#pragma once

#include <QJsonObject>
#include <QString>

namespace Tessaryn {

// Descriptive fields of a production, kept with its workspace so they survive a restart.
struct ProjectMetadata {
    QString subject_title = QStringLiteral("Project Episode 01");
    QString category = QStringLiteral("Technical Build & Demonstration");
    QString keywords = QStringLiteral("AI Cut, Tutorial, Showcase");
    QString creator = QStringLiteral("Tolvane");
    QString studio = QStringLiteral("Kadmir Media Studio");
    QString stage = QStringLiteral("Full Production Release");
    QString notes;

    QJsonObject toJson() const;
    // Missing or mistyped keys keep their defaults.
    static ProjectMetadata fromJson(const QJsonObject& object);
};

} // namespace Tessaryn
