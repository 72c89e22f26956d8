#pragma once

#include "selfupdate/PackageDownloader.h"
#include "selfupdate/SelfUpdateChecker.h"
#include "selfupdate/UpdateInstaller.h"
#include "selfupdate/UpdateState.h"

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

namespace selfupdate {

class HttpTransport;

// The one object the application talks to about updates. Each long operation runs on a worker
// thread of its own (one at a time); every change is published as an UpdateState snapshot
// through the state callback, carried to the GUI thread by the UI dispatcher when one is set.
// Commands return at once; a new command cancels and joins the running worker first.
//
// Commands are meant for one thread (the GUI's). One issued from this controller's own worker
// (a state callback run without a dispatcher) cannot join that worker: it is rejected and
// returns false. The last reference must not be dropped on the worker thread.
class SelfUpdateController {
public:
    using StateCallback = std::function<void(const UpdateState&)>;
    using UiDispatcher = std::function<void(std::function<void()>)>;
    using QuitCallback = std::function<void()>;

    static constexpr int DownloadConnectTimeoutMs = 10000;
    static constexpr int DownloadReadTimeoutMs = 30000;
    static constexpr const char* NoPackageUrlText = "No package URL to download";
    static constexpr const char* NoStagedPackageText = "No staged package ready to install";

    // A null transport gets HttpTransport::createDefault(); an empty stagingDir the automatic
    // folder. No thread starts here.
    SelfUpdateController(const CheckerConfig& checkerConfig, const InstallOptions& installOptions,
                         const std::string& stagingDir, std::shared_ptr<HttpTransport> transport);
    // Cancels and joins the worker.
    ~SelfUpdateController();
    SelfUpdateController(const SelfUpdateController&) = delete;
    SelfUpdateController& operator=(const SelfUpdateController&) = delete;

    // An empty function removes the callback.
    void setStateCallback(StateCallback callback);
    void setUiDispatcher(UiDispatcher dispatcher);
    void setQuitCallback(QuitCallback callback);

    bool checkForUpdates(bool userInitiated);
    // A null manifest means the current state's.
    bool downloadPackage(const UpdateManifest* manifest);
    bool downloadAndInstall(const UpdateManifest* manifest);
    bool installStagedPackage();
    // Cancels and joins the worker, then publishes a fresh Idle state.
    bool dismiss();
    // Sets the cancel flag only: the worker ends silently, the last published state stays.
    void cancel();

    UpdateState state() const;
    InstallResult lastInstallResult() const;

    // Both return at once when called from the worker itself.
    void waitForIdle();
    void stopWorker();

private:
    // Cancels and joins the previous worker, then clears the flag; false on the worker itself.
    bool beginCommand();
    void startWorker(std::function<void()> body);
    bool onOwnWorker() const;
    void startDownload(const UpdateManifest* manifest, bool install);
    void runDownload(const UpdateManifest& manifest, bool install);
    void runInstall(const UpdateManifest& manifest, const std::string& packagePath,
                    bool publishInstalling);
    // The current state changed by fn, stored and published.
    template <typename Change> void publishChange(Change fn);
    void dispatchState(const UpdateState& state);
    void dispatchQuit();

    mutable std::mutex m_mutex;
    std::thread m_worker;
    std::atomic<bool> m_cancel{false};
    CheckerConfig m_checkerConfig;
    InstallOptions m_installOptions;
    std::string m_stagingDir;
    std::shared_ptr<HttpTransport> m_transport;
    SelfUpdateChecker m_checker;
    PackageDownloader m_downloader;
    UpdateInstaller m_installer;
    UpdateState m_state;
    InstallResult m_lastInstallResult;
    StateCallback m_stateCallback;
    UiDispatcher m_uiDispatcher;
    QuitCallback m_quitCallback;
};

} // namespace selfupdate
