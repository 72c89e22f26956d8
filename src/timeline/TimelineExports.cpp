#include "timeline/TimelineExports.h"

#include "timeline/EdlMarkerExport.h"
#include "timeline/FcpxmlExport.h"
#include "timeline/MarkersCsvExport.h"
#include "timeline/MltExport.h"
#include "timeline/OtioExport.h"
#include "timeline/SrtExport.h"

namespace Tessaryn {

namespace {

using Factory = std::unique_ptr<TimelineExport> (*)();

struct Entry {
    const char* name;
    Factory make;
};

// A new format is one line here.
const Entry Registry[] = {
    {"csv", [] { return std::unique_ptr<TimelineExport>(new MarkersCsvExport()); }},
    {"srt", [] { return std::unique_ptr<TimelineExport>(new SrtExport()); }},
    {"edl", [] { return std::unique_ptr<TimelineExport>(new EdlMarkerExport()); }},
    {"fcpxml", [] { return std::unique_ptr<TimelineExport>(new FcpxmlExport()); }},
    {"mlt", [] { return std::unique_ptr<TimelineExport>(new MltExport()); }},
    {"otio", [] { return std::unique_ptr<TimelineExport>(new OtioExport()); }},
};

} // namespace

std::unique_ptr<TimelineExport> TimelineExports::create(const QString& format) {
    for (const Entry& entry : Registry) {
        if (format == QLatin1String(entry.name))
            return entry.make();
    }
    return nullptr;
}

QStringList TimelineExports::formats() {
    QStringList names;
    for (const Entry& entry : Registry)
        names << QString::fromLatin1(entry.name);
    return names;
}

} // namespace Tessaryn
