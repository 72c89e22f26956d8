#include "selfupdate/SelfUpdateChecker.h"
#include "selfupdate/TextUtil.h"

#include "selfupdate/HttpTransport.h"
#include "selfupdate/UpdateInstaller.h"

#include <exception>
#include <stdexcept>

#ifdef _WIN32
#define NOMINMAX
#include <windows.h>

#include <cwchar>
#include <vector>
#endif

namespace selfupdate {

namespace {

#ifdef _WIN32
std::string narrow(const wchar_t* wide) {
    return TextUtil::narrow(std::wstring(wide));
}

// A non-empty string value of the version resource, or empty.
std::string versionString(std::vector<char>& data, const wchar_t* path) {
    void* value = nullptr;
    UINT length = 0;
    if (!VerQueryValueW(data.data(), path, &value, &length) || !value || length == 0)
        return std::string();
    return narrow(static_cast<const wchar_t*>(value));
}

void readVersionResource(InstalledAppInfo& info) {
    const std::wstring path = TextUtil::widen(info.executablePath);
    DWORD ignored = 0;
    const DWORD size = GetFileVersionInfoSizeW(path.c_str(), &ignored);
    if (size == 0)
        return;
    std::vector<char> data(size);
    if (!GetFileVersionInfoW(path.c_str(), 0, size, data.data()))
        return;
    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT fixedLength = 0;
    if (VerQueryValueW(data.data(), L"\\", reinterpret_cast<void**>(&fixed), &fixedLength) &&
        fixed) {
        const std::int64_t major = HIWORD(fixed->dwProductVersionMS);
        const std::int64_t minor = LOWORD(fixed->dwProductVersionMS);
        const std::int64_t patch = HIWORD(fixed->dwProductVersionLS);
        info.versionName =
            std::to_string(major) + "." + std::to_string(minor) + "." + std::to_string(patch);
        info.versionCode = major * 10000 + minor * 100 + patch;
    }
    struct Translation {
        WORD language;
        WORD codePage;
    }* translation = nullptr;
    UINT translationLength = 0;
    if (!VerQueryValueW(data.data(), L"\\VarFileInfo\\Translation",
                        reinterpret_cast<void**>(&translation), &translationLength) ||
        !translation || translationLength < sizeof(Translation))
        return;
    wchar_t key[64];
    swprintf(key, 64, L"\\StringFileInfo\\%04x%04x\\ProductVersion", translation->language,
             translation->codePage);
    const std::string productVersion = versionString(data, key);
    if (!productVersion.empty())
        info.versionName = productVersion;
    swprintf(key, 64, L"\\StringFileInfo\\%04x%04x\\ProductName", translation->language,
             translation->codePage);
    const std::string productName = versionString(data, key);
    if (!productName.empty())
        info.applicationId = productName;
}
#endif

} // namespace

SelfUpdateChecker::SelfUpdateChecker(const CheckerConfig& config,
                                     std::shared_ptr<HttpTransport> transport)
    : m_config(config),
      m_transport(transport ? std::move(transport) : HttpTransport::createDefault()) {}

InstalledAppInfo SelfUpdateChecker::detectCurrentExeVersionInfo() {
    InstalledAppInfo info;
    info.executablePath = UpdateInstaller::detectCurrentExecutablePath();
#ifdef _WIN32
    if (!info.executablePath.empty())
        readVersionResource(info);
#endif
    return info;
}

InstalledAppInfo SelfUpdateChecker::getInstalledAppInfo() const {
    InstalledAppInfo info = detectCurrentExeVersionInfo();
    if (!m_config.applicationId.empty())
        info.applicationId = m_config.applicationId;
    if (!m_config.currentVersionName.empty())
        info.versionName = m_config.currentVersionName;
    if (m_config.currentVersionCode > 0)
        info.versionCode = m_config.currentVersionCode;
    else if (info.versionCode <= 0)
        info.versionCode =
            info.versionName.empty() ? 0 : UpdateManifest::parseVersionCode(info.versionName);
    return info;
}

UpdateManifest SelfUpdateChecker::fetchManifest(const std::atomic<bool>* cancelFlag) const {
    const std::string url = UpdateManifest::normalizeManifestUrl(m_config.manifestUrl);
    const HttpResponse response =
        m_transport->get(url, m_config.connectTimeoutMs, m_config.readTimeoutMs, cancelFlag);
    if (cancelFlag && cancelFlag->load())
        throw std::runtime_error("Manifest fetch cancelled");
    if (response.statusCode >= 200 && response.statusCode <= 299)
        return UpdateManifest::fromJson(response.body, url, m_config.applicationId);
    std::string message = "Failed to fetch update manifest from " + url + ": HTTP " +
                          std::to_string(response.statusCode);
    if (!response.error.empty())
        message += " (" + response.error + ")";
    throw std::runtime_error(message);
}

UpdateState SelfUpdateChecker::checkForUpdate(bool userInitiated,
                                              const std::atomic<bool>* cancelFlag) const {
    UpdateState state;
    state.phase = UpdatePhase::Checking;
    state.userInitiated = userInitiated;
    try {
        const InstalledAppInfo installed = getInstalledAppInfo();
        state.installedVersionName = installed.versionName;
        state.installedVersionCode = installed.versionCode;
        state.manifest = fetchManifest(cancelFlag);
        state.phase = state.manifest.isNewerThan(installed.versionName, installed.versionCode)
                          ? UpdatePhase::UpdateAvailable
                          : UpdatePhase::UpToDate;
    } catch (const std::exception& e) {
        state.phase = UpdatePhase::Error;
        state.errorMessage = e.what();
        state.manifest = UpdateManifest();
    }
    return state;
}

} // namespace selfupdate
