#pragma once

#include <QString>

class QApplication;

namespace Tessaryn {

// The application-wide dark look with a gold accent. All colours come from one
// style sheet; no palette or named widget style is installed. Buttons opt into
// the accent style through the object name "goldButton".
class Theme {
public:
    // The constant application style sheet.
    static QString getStyleSheet();

    // Installs the application font and the style sheet. Call once, after the
    // application object exists and before any window is built.
    static void applyTheme(QApplication& app);
};

} // namespace Tessaryn
