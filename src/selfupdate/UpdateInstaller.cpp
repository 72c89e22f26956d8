#include "selfupdate/UpdateInstaller.h"

#include <filesystem>
#include <system_error>

#ifdef _WIN32
#define NOMINMAX
#include <windows.h>
#endif

namespace selfupdate {

namespace {

#ifdef _WIN32
std::wstring widen(const std::string& utf8) {
    if (utf8.empty())
        return std::wstring();
    const int n = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), int(utf8.size()), nullptr, 0);
    std::wstring out(size_t(n), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, utf8.data(), int(utf8.size()), out.data(), n);
    return out;
}

std::string narrow(const std::wstring& wide) {
    if (wide.empty())
        return std::string();
    const int n = WideCharToMultiByte(CP_UTF8, 0, wide.data(), int(wide.size()), nullptr, 0,
                                      nullptr, nullptr);
    std::string out(size_t(n), '\0');
    WideCharToMultiByte(CP_UTF8, 0, wide.data(), int(wide.size()), out.data(), n, nullptr, nullptr);
    return out;
}
#endif

} // namespace

std::string UpdateInstaller::detectCurrentExecutablePath() {
#ifdef _WIN32
    std::wstring buffer(260, L'\0');
    for (;;) {
        const DWORD n = GetModuleFileNameW(nullptr, buffer.data(), DWORD(buffer.size()));
        if (n == 0)
            return std::string();
        if (n < buffer.size()) {
            buffer.resize(n);
            return narrow(buffer);
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
    const std::wstring wide = widen(backup);
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
