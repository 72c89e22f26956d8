#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace selfupdate {

enum class InstallMode : std::int32_t {
    SetupInstaller = 0, // the package is an installer program to run
    BinaryCopy = 1      // the package is the new executable itself
};

// One published release of one application, read from a release manifest or catalog, plus the
// library's version arithmetic. Pure computation on strings.
class UpdateManifest {
public:
    // The maker's release catalog folder; "version.json" is fetched from it.
    static constexpr const char* DefaultCatalogBaseUrl = "https://releases.kadmir.com/windows/";
    static constexpr const char* CatalogFileName = "version.json";
    // Arrays and objects nest at most this deep, so hostile input cannot exhaust the stack.
    static constexpr std::size_t MaxJsonDepth = 512;

    std::string applicationId;
    std::int64_t versionCode = 0;
    std::string versionName;
    InstallMode installMode = InstallMode::SetupInstaller;
    std::string installerArgs;
    std::string executableName;
    std::string arch = "x86_64";
    std::string minOs = "Windows 10 (64-bit)+";
    std::string packageUrl;
    std::string sha256;
    std::int64_t sizeBytes = -1;
    std::string slug;
    std::string title;
    std::string pageUrl;
    std::string publishedAt;
    std::string releaseNotes;

    // Throws std::invalid_argument with a fixed message on malformed JSON or a manifest that
    // fails its checks. manifestUrl is the base for relative URLs; targetIdOrSlug picks the
    // application out of a catalog.
    static UpdateManifest fromJson(const std::string& json, const std::string& manifestUrl,
                                   const std::string& targetIdOrSlug);

    static std::string normalizeApplicationId(const std::string& id);
    static std::string normalizeManifestUrl(const std::string& url);
    static std::string resolveRelativeUrl(const std::string& baseUrl, const std::string& url);

    // major * 10000 + minor * 100 + patch; malformed parts count as 0.
    static std::int64_t parseVersionCode(const std::string& versionName);
    // -1, 0 or 1 as a is older than, equal to or newer than b.
    static int compareVersions(const std::string& a, const std::string& b);

    bool isNewerThan(const std::string& installedVersionName,
                     std::int64_t installedVersionCode) const;
};

} // namespace selfupdate
