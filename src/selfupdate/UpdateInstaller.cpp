#include "selfupdate/UpdateInstaller.h"
#include "selfupdate/TextUtil.h"

#include "selfupdate/UpdateManifest.h"

#include <filesystem>
#include <system_error>

#ifdef _WIN32
#define NOMINMAX
#include <windows.h>
#else
#include <fcntl.h>
#include <unistd.h>
#endif

namespace fs = std::filesystem;

namespace selfupdate {

namespace {

bool isRegularFile(const std::string& path) {
    std::error_code ec;
    return !path.empty() && fs::is_regular_file(fs::u8path(path), ec);
}

bool pathExists(const std::string& path) {
    std::error_code ec;
    return fs::exists(fs::symlink_status(fs::u8path(path), ec));
}

void removeQuietly(const std::string& path) {
    std::error_code ec;
    fs::remove(fs::u8path(path), ec);
}

// Renaming works even while the executable runs.
bool moveReplacing(const std::string& from, const std::string& to) {
#ifdef _WIN32
    const std::wstring wideTo = TextUtil::widen(to);
    const DWORD attributes = GetFileAttributesW(wideTo.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY))
        SetFileAttributesW(wideTo.c_str(), attributes & ~DWORD(FILE_ATTRIBUTE_READONLY));
    return MoveFileExW(TextUtil::widen(from).c_str(), wideTo.c_str(), MOVEFILE_REPLACE_EXISTING) !=
           0;
#else
    std::error_code ec;
    fs::rename(from, to, ec);
    return !ec;
#endif
}

bool copyOverwriting(const std::string& from, const std::string& to) {
#ifdef _WIN32
    return CopyFileW(TextUtil::widen(from).c_str(), TextUtil::widen(to).c_str(), FALSE) != 0;
#else
    std::error_code ec;
    return fs::copy_file(from, to, fs::copy_options::overwrite_existing, ec) && !ec;
#endif
}

// The bytes reach the disk before the file takes the executable's name.
bool syncFile(const std::string& path) {
#ifdef _WIN32
    const HANDLE file = CreateFileW(TextUtil::widen(path).c_str(), GENERIC_WRITE, 0, nullptr,
                                    OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    const bool flushed = FlushFileBuffers(file) != 0;
    CloseHandle(file);
    return flushed;
#else
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return false;
    const bool synced = ::fsync(fd) == 0;
    ::close(fd);
    return synced;
#endif
}

// POSIX permission bits decide whether the copy can run at all; Windows has no such bits.
bool copyPermissions(const std::string& from, const std::string& to) {
#ifdef _WIN32
    (void)from;
    (void)to;
    return true;
#else
    std::error_code ec;
    const fs::perms bits = fs::status(from, ec).permissions();
    if (ec)
        return false;
    fs::permissions(to, bits & fs::perms::mask, fs::perm_options::replace, ec);
    return !ec;
#endif
}

// Adds the execute bit for the owner and for everyone who may read the file.
bool makeExecutable(const std::string& path) {
#ifdef _WIN32
    (void)path;
    return true;
#else
    std::error_code ec;
    const fs::perms bits = fs::status(path, ec).permissions();
    if (ec)
        return false;
    fs::perms add = fs::perms::owner_exec;
    if ((bits & fs::perms::group_read) != fs::perms::none)
        add |= fs::perms::group_exec;
    if ((bits & fs::perms::others_read) != fs::perms::none)
        add |= fs::perms::others_exec;
    fs::permissions(path, add, fs::perm_options::add, ec);
    return !ec;
#endif
}

// The new executable is written whole beside the target (one folder, so a rename moves it into
// place atomically), with the target's mode and synced: no moment shows a cut-short executable.
bool prepareReplacement(const std::string& stagedPath, const std::string& replacement,
                        const std::string& target) {
    removeQuietly(replacement);
    bool ok = copyOverwriting(stagedPath, replacement);
    ok = ok &&
         (pathExists(target) ? copyPermissions(target, replacement) : makeExecutable(replacement));
    ok = ok && syncFile(replacement);
    if (!ok)
        removeQuietly(replacement);
    return ok;
}

} // namespace

UpdateInstaller::UpdateInstaller(InstallOptions options) : m_options(std::move(options)) {}

InstallResult UpdateInstaller::executeUpdate(const UpdateManifest& manifest,
                                             const std::string& packagePath) const {
    if (manifest.installMode == InstallMode::BinaryCopy)
        return executeBinaryCopy(packagePath, std::string());
    return executeSetupInstaller(manifest, packagePath);
}

InstallResult UpdateInstaller::executeSetupInstaller(const UpdateManifest& manifest,
                                                     const std::string& packagePath) const {
    InstallResult result;
    if (!checkStagedPath(packagePath, "Staged installer path", result))
        return result;
    const std::string args =
        m_options.installerArgs.empty() ? manifest.installerArgs : m_options.installerArgs;
    std::string relaunch = m_options.relaunchExecutablePath;
    if (relaunch.empty())
        relaunch = m_options.targetExecutablePath;
    if (relaunch.empty())
        relaunch = detectCurrentExecutablePath();
    // A downloaded file carries no execute bit.
    if (!makeExecutable(packagePath)) {
        result.errorMessage = "Failed to make staged installer executable: " + packagePath;
        return result;
    }

    if (m_options.useTrampoline) {
        const std::string relaunchCommand = m_options.relaunchAfterInstall && !relaunch.empty()
                                                ? formatCommand(relaunch, m_options.relaunchArgs)
                                                : std::string();
        result.scriptPath = writeTrampoline(packagePath, SetupTrampolineName,
                                            setupStepLine(packagePath, args), relaunchCommand);
        if (result.scriptPath.empty()) {
            result.errorMessage = "Failed to generate installer trampoline script";
            return result;
        }
        result.commandLine = trampolineCommandLine(result.scriptPath);
        result.requiresExit = true;
        result.success = m_options.dryRun || launchTrampoline(result.scriptPath);
        if (!result.success)
            result.errorMessage = "Failed to launch installer trampoline script";
        return result;
    }

#ifdef _WIN32
    const std::vector<std::string> list =
        args.empty() ? std::vector<std::string>() : std::vector<std::string>{args};
#else
    // An argument vector has no command line to re-split: the words go in one by one.
    const std::vector<std::string> list = splitArguments(args);
#endif
    result.commandLine = formatCommand(packagePath, list);
    result.requiresExit = true;
    result.success = m_options.dryRun || spawnDetachedProcess(packagePath, list);
    if (!result.success)
        result.errorMessage = "Failed to launch setup installer directly";
    return result;
}

InstallResult UpdateInstaller::executeBinaryCopy(const std::string& stagedPath,
                                                 const std::string& targetPath) const {
    InstallResult result;
    if (!checkStagedPath(stagedPath, "Staged binary path", result))
        return result;
    std::string target = targetPath.empty() ? m_options.targetExecutablePath : targetPath;
    if (target.empty())
        target = detectCurrentExecutablePath();
    if (target.empty()) {
        result.errorMessage = "Cannot determine target executable path for binary copy";
        return result;
    }
    const std::string backup = target + BackupSuffix;
    const std::string replacement = target + ReplacementSuffix;
    if (!prepareReplacement(stagedPath, replacement, target)) {
        result.errorMessage = "Failed to copy staged binary to target executable; restored backup";
        return result;
    }
    const bool backedUp = pathExists(target) && moveReplacing(target, backup);
    if (pathExists(target) && !backedUp) {
        removeQuietly(replacement);
        return copyThroughTrampoline(stagedPath, target);
    }

    // Puts the previous executable back; without a backup, removes the new one.
    const auto restore = [&] {
        removeQuietly(target);
        if (backedUp)
            moveReplacing(backup, target);
    };
    if (!moveReplacing(replacement, target)) {
        removeQuietly(replacement);
        restore();
        result.errorMessage = "Failed to copy staged binary to target executable; restored backup";
        return result;
    }
    result.success = true;
    if (backedUp)
        result.backupPath = backup;
    if (m_options.relaunchAfterInstall) {
        result.requiresExit = true;
        result.commandLine = formatCommand(target, m_options.relaunchArgs);
        if (!m_options.dryRun && !spawnDetachedProcess(target, m_options.relaunchArgs)) {
            // A new executable that cannot even start must not stay in place.
            restore();
            result = InstallResult();
            result.errorMessage = backedUp
                                      ? "Failed to start the updated executable; restored backup"
                                      : "Failed to start the updated executable";
        }
    }
    return result;
}

// The executable cannot be renamed while it runs: the copy waits for the process to end.
InstallResult UpdateInstaller::copyThroughTrampoline(const std::string& stagedPath,
                                                     const std::string& target) const {
    InstallResult result;
    const std::string relaunchCommand = m_options.relaunchAfterInstall
                                            ? formatCommand(target, m_options.relaunchArgs)
                                            : std::string();
    result.scriptPath = writeTrampoline(stagedPath, CopyTrampolineName,
                                        copyStepLine(stagedPath, target), relaunchCommand);
    if (result.scriptPath.empty()) {
        result.errorMessage =
            "Failed to rename running executable to .old and failed to generate trampoline";
        return result;
    }
    result.commandLine = trampolineCommandLine(result.scriptPath);
    result.requiresExit = true;
    result.success = m_options.dryRun || launchTrampoline(result.scriptPath);
    if (!result.success)
        result.errorMessage = "Failed to launch binary copy trampoline script";
    return result;
}

bool UpdateInstaller::checkStagedPath(const std::string& path, const char* what,
                                      InstallResult& result) {
    if (!isRegularFile(path)) {
        result.errorMessage =
            std::string(what) + " does not exist or is not a regular file: " + path;
        return false;
    }
    // The trampoline is written into the package's folder: a path that climbs through "." or
    // ".." would put it, and what it runs, somewhere else.
    for (const fs::path& part : fs::u8path(path)) {
        if (part == "." || part == "..") {
            result.errorMessage = "Staged package path is not a plain path: " + path;
            return false;
        }
    }
    return true;
}

std::string UpdateInstaller::detectCurrentExecutablePath() {
#ifdef _WIN32
    std::wstring buffer(260, L'\0');
    for (;;) {
        const DWORD n = GetModuleFileNameW(nullptr, buffer.data(), DWORD(buffer.size()));
        if (n == 0)
            return std::string();
        if (n < buffer.size()) {
            buffer.resize(n);
            return TextUtil::narrow(buffer);
        }
        buffer.resize(buffer.size() * 2);
    }
#else
    std::error_code ec;
    const std::filesystem::path path = std::filesystem::read_symlink("/proc/self/exe", ec);
    return ec ? std::string() : path.string();
#endif
}

bool UpdateInstaller::cleanupStaleBackup(const std::string& exePath) {
    const std::string path = exePath.empty() ? detectCurrentExecutablePath() : exePath;
    if (path.empty())
        return true;
    const std::string backup = path + ".old";
#ifdef _WIN32
    const std::wstring wide = TextUtil::widen(backup);
    const DWORD attributes = GetFileAttributesW(wide.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES)
        return true;
    if (attributes & FILE_ATTRIBUTE_READONLY)
        SetFileAttributesW(wide.c_str(), attributes & ~DWORD(FILE_ATTRIBUTE_READONLY));
    return DeleteFileW(wide.c_str()) != 0;
#else
    // Deleting depends on the folder's permissions on this platform, not the file's mode.
    std::error_code ec;
    const std::filesystem::file_status status = std::filesystem::symlink_status(backup, ec);
    if (ec || !std::filesystem::exists(status))
        return true;
    return std::filesystem::remove(backup, ec) && !ec;
#endif
}

} // namespace selfupdate
