#include "workspace/ProjectMetadata.h"

namespace Tessaryn {

namespace {

void readString(const QJsonObject& o, const char* key, QString& field) {
    const QJsonValue v = o.value(QLatin1String(key));
    if (v.isString())
        field = v.toString();
}

} // namespace

QJsonObject ProjectMetadata::toJson() const {
    return {{"subject_title", subject_title},
            {"category", category},
            {"keywords", keywords},
            {"creator", creator},
            {"studio", studio},
            {"stage", stage},
            {"notes", notes}};
}

ProjectMetadata ProjectMetadata::fromJson(const QJsonObject& o) {
    ProjectMetadata m;
    readString(o, "subject_title", m.subject_title);
    readString(o, "category", m.category);
    readString(o, "keywords", m.keywords);
    readString(o, "creator", m.creator);
    readString(o, "studio", m.studio);
    readString(o, "stage", m.stage);
    readString(o, "notes", m.notes);
    return m;
}

} // namespace Tessaryn
