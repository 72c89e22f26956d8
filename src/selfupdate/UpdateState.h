#pragma once

#include "selfupdate/UpdateManifest.h"

#include <cstdint>
#include <string>

namespace selfupdate {

enum class UpdatePhase : std::int32_t {
    Idle = 0,
    Checking = 1,
    UpToDate = 2,
    UpdateAvailable = 3,
    Downloading = 4,
    ReadyToInstall = 5,
    Installing = 6,
    Relaunching = 7,
    Error = 8
};

// The snapshot the update controller hands to the GUI with every change.
struct UpdateState {
    UpdatePhase phase = UpdatePhase::Idle;
    // The release concerned; defaults (empty packageUrl) when none.
    UpdateManifest manifest;
    std::string installedVersionName;
    std::int64_t installedVersionCode = 0;
    std::int64_t downloadedBytes = 0;
    // -1 when the package size is not known.
    std::int64_t totalBytes = -1;
    std::string stagedPackagePath;
    std::string errorMessage;
    // The current check was asked for by the user (the banner shows quiet results only then).
    bool userInitiated = false;
};

} // namespace selfupdate
