#include "selfupdate/SelfUpdateChecker.h"
#include "selfupdate/TextUtil.h"

#include "selfupdate/HttpTransport.h"
#include "selfupdate/UpdateInstaller.h"

#include <chrono>
#include <condition_variable>
#include <exception>
#include <mutex>
#include <stdexcept>
#include <thread>

#ifdef _WIN32
#define NOMINMAX
#include <windows.h>

#include <cwchar>
#include <vector>
#endif

namespace selfupdate {

namespace {

// One stop flag for the transport, raised by the caller's cancel or by the deadline: the
// transport's own timeouts are per read, so a server trickling bytes would never end otherwise.
class FetchDeadline {
public:
    FetchDeadline(const std::atomic<bool>* cancelFlag, int totalTimeoutMs)
        : m_cancelFlag(cancelFlag),
          m_deadline(std::chrono::steady_clock::now() + std::chrono::milliseconds(totalTimeoutMs)),
          m_watcher([this] { watch(); }) {}
    ~FetchDeadline() { finish(); }
    FetchDeadline(const FetchDeadline&) = delete;
    FetchDeadline& operator=(const FetchDeadline&) = delete;

    const std::atomic<bool>* flag() const { return &m_stop; }
    // Stops the watcher; afterwards the flags no longer change.
    void finish() {
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_done = true;
        }
        m_wake.notify_all();
        if (m_watcher.joinable())
            m_watcher.join();
    }
    bool hasExpired() const { return m_expired; }
    bool wasStopped() const { return m_stop; }

private:
    // Polls the caller's flag, which nobody signals.
    void watch() {
        std::unique_lock<std::mutex> lock(m_mutex);
        while (!m_done) {
            if (m_cancelFlag && m_cancelFlag->load())
                m_stop = true;
            if (std::chrono::steady_clock::now() >= m_deadline) {
                m_expired = true;
                m_stop = true;
            }
            if (m_stop)
                return;
            m_wake.wait_for(lock, std::chrono::milliseconds(20));
        }
    }

    const std::atomic<bool>* m_cancelFlag;
    const std::chrono::steady_clock::time_point m_deadline;
    std::atomic<bool> m_stop{false};
    std::atomic<bool> m_expired{false};
    bool m_done = false;
    std::mutex m_mutex;
    std::condition_variable m_wake;
    std::thread m_watcher;
};

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
    FetchDeadline deadline(cancelFlag, m_config.totalTimeoutMs);
    const HttpResponse response =
        m_transport->get(url, m_config.connectTimeoutMs, m_config.readTimeoutMs, deadline.flag());
    deadline.finish();
    // A raised stop flag that is not the deadline's is a cancel, even when the answer arrived.
    if ((cancelFlag && cancelFlag->load()) || (deadline.wasStopped() && !deadline.hasExpired()))
        throw std::runtime_error("Manifest fetch cancelled");
    if (deadline.hasExpired())
        throw std::runtime_error("Manifest fetch exceeded its deadline of " +
                                 std::to_string(m_config.totalTimeoutMs) + " ms");
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
