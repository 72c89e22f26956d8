#pragma once

#include <string>

namespace selfupdate {

struct CheckerConfig;
struct InstallOptions;

// This application's update settings: its catalog id and version from the build, and the
// catalog location, which deployment may override.
class UpdateConfig {
public:
    static constexpr const char* ApplicationId = "com.kadmir.tessaryn";
    static constexpr const char* CatalogUrlVariable = "TESSARYN_UPDATE_CATALOG_URL";

    // The version the build was made as ("1.1.0").
    static std::string applicationVersion();
    // TESSARYN_UPDATE_CATALOG_URL when it holds an http(s) address, else the maker's catalog
    // (UpdateManifest::DefaultCatalogBaseUrl).
    static std::string catalogUrl();
    // Id, version and code from the build, catalogUrl(), 10000 ms connect and read timeouts.
    static CheckerConfig checkerConfig();
    // Replace the running executable, relaunch it, through the trampoline.
    static InstallOptions installOptions();
};

} // namespace selfupdate
