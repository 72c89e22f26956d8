#pragma once

#include <QString>

namespace Tessaryn {

// The names under which the application presents itself and stores its settings.
class AppInfo {
public:
    static QString applicationName();    // "Tessaryn"
    static QString applicationVersion(); // from the build configuration
    static QString organizationName();   // "Tolvane"
    static QString organizationDomain();
    static QString defaultProjectName(); // "Default_Project"

    // Names the running application after these, so every program of the suite shares the
    // studio's settings and stored key.
    static void applyIdentity();

    static QString versionLine();  // "Tessaryn 1.1.0"
    static QString selfTestLine(); // "SELF_TEST_OK Tessaryn 1.1.0"
};

} // namespace Tessaryn
