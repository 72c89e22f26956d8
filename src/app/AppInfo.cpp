#include "app/AppInfo.h"

#include <QCoreApplication>

#ifndef TESSARYN_VERSION
#error "TESSARYN_VERSION must come from the build configuration"
#endif

namespace Tessaryn {

QString AppInfo::applicationName() {
    return QStringLiteral("Tessaryn");
}
QString AppInfo::applicationVersion() {
    return QStringLiteral(TESSARYN_VERSION);
}
QString AppInfo::organizationName() {
    return QStringLiteral("Tolvane");
}
QString AppInfo::organizationDomain() {
    return QStringLiteral("tolvane.com");
}
QString AppInfo::defaultProjectName() {
    return QStringLiteral("Default_Project");
}

QString AppInfo::versionLine() {
    return applicationName() + QLatin1Char(' ') + applicationVersion();
}

QString AppInfo::selfTestLine() {
    return QStringLiteral("SELF_TEST_OK ") + versionLine();
}

void AppInfo::applyIdentity() {
    QCoreApplication::setApplicationName(applicationName());
    QCoreApplication::setApplicationVersion(applicationVersion());
    QCoreApplication::setOrganizationName(organizationName());
    QCoreApplication::setOrganizationDomain(organizationDomain());
}

} // namespace Tessaryn
