#pragma once

#include <string>

namespace selfupdate {

// Applies a verified update package to the installed application.
class UpdateInstaller {
public:
    // The running executable's full path in UTF-8, or empty when it cannot be determined.
    static std::string detectCurrentExecutablePath();

    // Removes the ".old" backup a binary update left beside the executable (exePath, or the
    // running executable when empty). True when there is nothing left to remove.
    static bool cleanupStaleBackup(const std::string& exePath);
};

} // namespace selfupdate
