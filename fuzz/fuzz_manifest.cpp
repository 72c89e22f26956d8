// libFuzzer target for the catalog reader: any byte string must either parse into a manifest
// that passed its checks or fail with std::invalid_argument. Any other exception, a crash or
// undefined behaviour is a finding. Built only by scripts/fuzz.sh, never by the normal build.
#include "selfupdate/UpdateManifest.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <stdexcept>
#include <string>

namespace {

void parseOnce(const std::string& json, const std::string& target) {
    try {
        const selfupdate::UpdateManifest m = selfupdate::UpdateManifest::fromJson(
            json, "https://updates.example.test/channel/version.json", target);
        // A manifest that parsed has passed its checks.
        if (m.applicationId.empty() || m.versionName.empty() || m.versionCode <= 0 ||
            m.sha256.size() != 64 || m.packageUrl.empty())
            std::abort();
        selfupdate::UpdateManifest::parseVersionCode(m.versionName);
        selfupdate::UpdateManifest::compareVersions(m.versionName, "1.1.0-beta");
        m.isNewerThan("1.1.0", 10100);
    } catch (const std::invalid_argument&) {
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string json(reinterpret_cast<const char*>(data), size);
    parseOnce(json, std::string());
    parseOnce(json, "com.kadmir.tessaryn.debug");
    // The version arithmetic takes any text too.
    selfupdate::UpdateManifest::compareVersions(json, "v2.0.0-rc.1");
    selfupdate::UpdateManifest::parseVersionCode(json);
    selfupdate::UpdateManifest::resolveRelativeUrl("https://h.example.test/a/", json);
    return 0;
}
