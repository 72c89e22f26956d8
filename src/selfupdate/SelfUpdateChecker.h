#pragma once

#include "selfupdate/UpdateManifest.h"
#include "selfupdate/UpdateState.h"

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>

namespace selfupdate {

class HttpTransport;

// Supplied by the host application.
struct CheckerConfig {
    // This application's id in the release catalog; also the catalog selector.
    std::string applicationId;
    // When non-empty, overrides what the executable reports.
    std::string currentVersionName;
    // Used when greater than 0.
    std::int64_t currentVersionCode = 0;
    // Catalog location, normalized with UpdateManifest::normalizeManifestUrl before use.
    std::string manifestUrl;
    int connectTimeoutMs = 10000;
    int readTimeoutMs = 10000;
    // The whole catalog fetch, however slowly the bytes arrive.
    int totalTimeoutMs = 60000;
};

struct InstalledAppInfo {
    std::string applicationId;
    std::string versionName;
    std::int64_t versionCode = 0;
    // UTF-8.
    std::string executablePath;
};

// Answers whether a newer release is published. Immutable after construction; blocks while
// it fetches.
class SelfUpdateChecker {
public:
    SelfUpdateChecker(const CheckerConfig& config, std::shared_ptr<HttpTransport> transport);

    // The executable's path and, on Windows, its version resource; never fails (missing pieces
    // stay empty or 0). Elsewhere the versions stay empty and the configuration decides.
    static InstalledAppInfo detectCurrentExeVersionInfo();

    // The detection merged with the configuration.
    InstalledAppInfo getInstalledAppInfo() const;

    // Throws std::runtime_error for transport, HTTP, deadline and cancellation failures and
    // std::invalid_argument for a malformed document.
    UpdateManifest fetchManifest(const std::atomic<bool>* cancelFlag) const;

    // UpToDate, UpdateAvailable or Error; never throws for the failures above.
    UpdateState checkForUpdate(bool userInitiated, const std::atomic<bool>* cancelFlag) const;

    const CheckerConfig& config() const { return m_config; }

private:
    CheckerConfig m_config;
    std::shared_ptr<HttpTransport> m_transport;
};

} // namespace selfupdate
