#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace selfupdate {

class UpdateManifest;

// Given by the host.
struct InstallOptions {
    // Empty: the running executable.
    std::string targetExecutablePath;
    // Started after a setup install; empty: targetExecutablePath, then the running executable.
    std::string relaunchExecutablePath;
    // Empty: the manifest's installerArgs.
    std::string installerArgs;
    std::vector<std::string> relaunchArgs;
    bool relaunchAfterInstall = true;
    // Setup installer only: false starts it directly, without waiting for this process to end.
    bool useTrampoline = true;
    // Everything except starting processes, reported as success.
    bool dryRun = false;
    // The process the trampoline waits for; 0 means this one.
    std::int64_t waitProcessId = 0;
};

struct InstallResult {
    // The install step was started (or completed).
    bool success = false;
    // The application must quit for the update to proceed or take effect.
    bool requiresExit = false;
    // The ".old" backup of the replaced executable, when one was made.
    std::string backupPath;
    std::string scriptPath;
    // The command started (or, with dryRun, that would have been).
    std::string commandLine;
    std::string errorMessage;
};

// Applies a verified update package to the installed application. A running executable cannot
// be replaced and an installer must not run while the application holds its files, so the work
// goes to a trampoline script that waits for the process to end, runs the step, relaunches on
// success and deletes itself: a batch script on Windows, a POSIX sh script elsewhere.
class UpdateInstaller {
public:
    static constexpr const char* SetupTrampolineName = "selfupdate_trampoline.cmd";
    static constexpr const char* CopyTrampolineName = "selfupdate_copy_trampoline.cmd";
    static constexpr const char* BackupSuffix = ".old";
    // The new executable beside the target until it is renamed over it.
    static constexpr const char* ReplacementSuffix = ".part";

    explicit UpdateInstaller(InstallOptions options = InstallOptions());

    const InstallOptions& options() const { return m_options; }

    // BinaryCopy manifests replace the executable, all others run a setup installer. Nothing
    // is thrown: failures come back in the result.
    InstallResult executeUpdate(const UpdateManifest& manifest,
                                const std::string& packagePath) const;
    InstallResult executeSetupInstaller(const UpdateManifest& manifest,
                                        const std::string& packagePath) const;
    // targetPath empty: the option's target, then the running executable.
    InstallResult executeBinaryCopy(const std::string& stagedPath,
                                    const std::string& targetPath) const;

    // The running executable's full path in UTF-8, or empty when it cannot be determined.
    static std::string detectCurrentExecutablePath();

    // Removes the ".old" backup a binary update left beside the executable (exePath, or the
    // running executable when empty). True when there is nothing left to remove.
    static bool cleanupStaleBackup(const std::string& exePath);

    // One argument as the trampoline's interpreter reads it back unchanged. POSIX: always
    // single-quoted, so "$", backquotes and backslashes are never expanded.
    static std::string quoteArg(const std::string& arg);
    static std::string formatCommand(const std::string& program,
                                     const std::vector<std::string>& args);
    // Installer arguments as words: split at blanks, double quotes group (POSIX launches).
    static std::vector<std::string> splitArguments(const std::string& args);

private:
    // A regular file reached without "." or ".." components; else the reason lands in result.
    static bool checkStagedPath(const std::string& path, const char* what, InstallResult& result);
    InstallResult copyThroughTrampoline(const std::string& stagedPath,
                                        const std::string& target) const;
    static std::string setupStepLine(const std::string& packagePath, const std::string& args);
    static std::string copyStepLine(const std::string& stagedPath, const std::string& targetPath);
    // The script's text; stepLine runs the install step, relaunchCommand may be empty.
    std::string trampolineText(const std::string& stepLine,
                               const std::string& relaunchCommand) const;
    // The script's path beside the package, or empty when it cannot be written.
    std::string writeTrampoline(const std::string& packagePath, const char* name,
                                const std::string& stepLine,
                                const std::string& relaunchCommand) const;
    static std::string trampolineCommandLine(const std::string& scriptPath);
    static bool launchTrampoline(const std::string& scriptPath);
    // Starts a process that outlives this one; true when it started.
    static bool spawnDetachedProcess(const std::string& program,
                                     const std::vector<std::string>& args);

    InstallOptions m_options;
};

} // namespace selfupdate
