#include "selfupdate/UpdateConfig.h"
#include "selfupdate/TextUtil.h"

#include "selfupdate/SelfUpdateChecker.h"
#include "selfupdate/UpdateInstaller.h"
#include "selfupdate/UpdateManifest.h"

#include <cctype>
#include <cstdlib>

#ifndef TESSARYN_VERSION
#error "TESSARYN_VERSION must come from the build"
#endif

namespace selfupdate {

namespace {

bool hasPrefix(const std::string& text, const std::string& prefix) {
    return text.size() > prefix.size() && text.compare(0, prefix.size(), prefix) == 0;
}

} // namespace

std::string UpdateConfig::applicationVersion() {
    return TESSARYN_VERSION;
}

std::string UpdateConfig::catalogUrl() {
    const char* value = std::getenv(CatalogUrlVariable);
    const std::string configured = TextUtil::trimmed(value ? value : "");
    if (hasPrefix(configured, "https://") || hasPrefix(configured, "http://"))
        return configured;
    return UpdateManifest::DefaultCatalogBaseUrl;
}

CheckerConfig UpdateConfig::checkerConfig() {
    CheckerConfig config;
    config.applicationId = ApplicationId;
    config.currentVersionName = applicationVersion();
    config.currentVersionCode = UpdateManifest::parseVersionCode(config.currentVersionName);
    config.manifestUrl = catalogUrl();
    config.connectTimeoutMs = 10000;
    config.readTimeoutMs = 10000;
    return config;
}

InstallOptions UpdateConfig::installOptions() {
    return InstallOptions();
}

} // namespace selfupdate
