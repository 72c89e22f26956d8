#include "selfupdate/SelfUpdateController.h"

#include "selfupdate/HttpTransport.h"

#include <exception>
#include <utility>

namespace selfupdate {

namespace {

// The controller whose worker runs on this thread, if any.
thread_local const SelfUpdateController* t_workerOwner = nullptr;

UpdateState initialState(const CheckerConfig& config) {
    UpdateState state;
    state.installedVersionName = config.currentVersionName;
    state.installedVersionCode = config.currentVersionCode;
    return state;
}

} // namespace

SelfUpdateController::SelfUpdateController(const CheckerConfig& checkerConfig,
                                           const InstallOptions& installOptions,
                                           const std::string& stagingDir,
                                           std::shared_ptr<HttpTransport> transport)
    : m_checkerConfig(checkerConfig), m_installOptions(installOptions), m_stagingDir(stagingDir),
      m_transport(transport ? std::move(transport) : HttpTransport::createDefault()),
      m_checker(m_checkerConfig, m_transport),
      m_downloader(m_stagingDir, m_transport, DownloadConnectTimeoutMs, DownloadReadTimeoutMs),
      m_installer(m_installOptions), m_state(initialState(m_checkerConfig)) {}

SelfUpdateController::~SelfUpdateController() {
    stopWorker();
    // Only reached on the worker itself, against the documented rule: better than terminating.
    if (m_worker.joinable())
        m_worker.detach();
}

void SelfUpdateController::setStateCallback(StateCallback callback) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_stateCallback = std::move(callback);
}

void SelfUpdateController::setUiDispatcher(UiDispatcher dispatcher) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_uiDispatcher = std::move(dispatcher);
}

void SelfUpdateController::setQuitCallback(QuitCallback callback) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_quitCallback = std::move(callback);
}

template <typename Change> void SelfUpdateController::publishChange(Change fn) {
    UpdateState changed;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        changed = m_state;
    }
    fn(changed);
    dispatchState(changed);
}

bool SelfUpdateController::onOwnWorker() const {
    return t_workerOwner == this;
}

bool SelfUpdateController::beginCommand() {
    if (onOwnWorker())
        return false;
    m_cancel.exchange(true);
    if (m_worker.joinable())
        m_worker.join();
    m_cancel.exchange(false);
    return true;
}

void SelfUpdateController::startWorker(std::function<void()> body) {
    m_worker = std::thread([this, body = std::move(body)] {
        t_workerOwner = this;
        body();
        t_workerOwner = nullptr;
    });
}

bool SelfUpdateController::checkForUpdates(bool userInitiated) {
    if (!beginCommand())
        return false;
    publishChange([&](UpdateState& s) {
        s.phase = UpdatePhase::Checking;
        s.userInitiated = userInitiated;
        s.errorMessage.clear();
    });
    startWorker([this, userInitiated] {
        const UpdateState result = m_checker.checkForUpdate(userInitiated, &m_cancel);
        if (!m_cancel.load())
            dispatchState(result);
    });
    return true;
}

bool SelfUpdateController::downloadPackage(const UpdateManifest* manifest) {
    if (!beginCommand())
        return false;
    startDownload(manifest, false);
    return true;
}

bool SelfUpdateController::downloadAndInstall(const UpdateManifest* manifest) {
    if (!beginCommand())
        return false;
    startDownload(manifest, true);
    return true;
}

void SelfUpdateController::startDownload(const UpdateManifest* manifest, bool install) {
    UpdateState started;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        const UpdateManifest m = manifest ? *manifest : m_state.manifest;
        m_state.phase = UpdatePhase::Downloading;
        m_state.manifest = m;
        m_state.downloadedBytes = 0;
        m_state.totalBytes = m.sizeBytes;
        m_state.errorMessage.clear();
        started = m_state;
    }
    if (started.manifest.packageUrl.empty()) {
        started.phase = UpdatePhase::Error;
        started.errorMessage = NoPackageUrlText;
        dispatchState(started);
        return;
    }
    dispatchState(started);
    startWorker([this, m = started.manifest, install] { runDownload(m, install); });
}

void SelfUpdateController::runDownload(const UpdateManifest& m, bool install) {
    const PackageDownloader::ProgressCallback onProgress = [&](std::int64_t downloaded,
                                                               std::int64_t total) {
        if (m_cancel.load())
            return;
        publishChange([&](UpdateState& s) {
            s.phase = UpdatePhase::Downloading;
            s.manifest = m;
            s.downloadedBytes = downloaded;
            s.totalBytes = total;
        });
    };
    std::string path;
    try {
        path = m_downloader.downloadAndVerify(m, onProgress, &m_cancel);
    } catch (const std::exception& e) {
        if (!m_cancel.load()) {
            publishChange([&](UpdateState& s) {
                s.phase = UpdatePhase::Error;
                s.errorMessage = e.what();
            });
        }
        return;
    }
    if (m_cancel.load())
        return;
    publishChange([&](UpdateState& s) {
        s.phase = UpdatePhase::ReadyToInstall;
        s.manifest = m;
        s.stagedPackagePath = path;
        // With no size known at all, the count received stands (never a negative count).
        if (s.totalBytes > 0)
            s.downloadedBytes = s.totalBytes;
        else if (m.sizeBytes > 0)
            s.downloadedBytes = m.sizeBytes;
        s.errorMessage.clear();
    });
    if (install)
        runInstall(m, path, true);
}

bool SelfUpdateController::installStagedPackage() {
    if (!beginCommand())
        return false;
    UpdateState started;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_state.phase = UpdatePhase::Installing;
        m_state.errorMessage.clear();
        started = m_state;
    }
    if (started.stagedPackagePath.empty()) {
        started.phase = UpdatePhase::Error;
        started.errorMessage = NoStagedPackageText;
        dispatchState(started);
        return true;
    }
    dispatchState(started);
    startWorker([this, m = started.manifest, path = started.stagedPackagePath] {
        runInstall(m, path, false);
    });
    return true;
}

void SelfUpdateController::runInstall(const UpdateManifest& m, const std::string& packagePath,
                                      bool publishInstalling) {
    if (publishInstalling)
        publishChange([](UpdateState& s) { s.phase = UpdatePhase::Installing; });
    const InstallResult result = m_installer.executeUpdate(m, packagePath);
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_lastInstallResult = result;
    }
    if (result.success) {
        publishChange([](UpdateState& s) { s.phase = UpdatePhase::Relaunching; });
        if (result.requiresExit)
            dispatchQuit();
    } else {
        publishChange([&](UpdateState& s) {
            s.phase = UpdatePhase::Error;
            s.errorMessage = result.errorMessage;
        });
    }
}

bool SelfUpdateController::dismiss() {
    if (onOwnWorker())
        return false;
    stopWorker();
    publishChange([this](UpdateState& s) { s = initialState(m_checkerConfig); });
    return true;
}

void SelfUpdateController::cancel() {
    m_cancel.exchange(true);
}

UpdateState SelfUpdateController::state() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_state;
}

InstallResult SelfUpdateController::lastInstallResult() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_lastInstallResult;
}

void SelfUpdateController::waitForIdle() {
    if (!onOwnWorker() && m_worker.joinable())
        m_worker.join();
}

void SelfUpdateController::stopWorker() {
    m_cancel.exchange(true);
    waitForIdle();
}

void SelfUpdateController::dispatchState(const UpdateState& state) {
    StateCallback callback;
    UiDispatcher dispatcher;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_state = state;
        callback = m_stateCallback;
        dispatcher = m_uiDispatcher;
    }
    if (!callback)
        return;
    if (dispatcher)
        dispatcher([callback, state] { callback(state); });
    else
        callback(state);
}

void SelfUpdateController::dispatchQuit() {
    QuitCallback callback;
    UiDispatcher dispatcher;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        callback = m_quitCallback;
        dispatcher = m_uiDispatcher;
    }
    if (!callback)
        return;
    if (dispatcher)
        dispatcher(callback);
    else
        callback();
}

} // namespace selfupdate
