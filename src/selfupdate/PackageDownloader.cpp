#include "selfupdate/PackageDownloader.h"

#include "selfupdate/HttpTransport.h"
#include "selfupdate/Sha256.h"
#include "selfupdate/UpdateManifest.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <system_error>

#ifdef _WIN32
#define NOMINMAX
#include <windows.h>
#else
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace fs = std::filesystem;

namespace selfupdate {

namespace {

bool isCancelled(const std::atomic<bool>* flag) {
    return flag && flag->load();
}

std::string lower(std::string text) {
    for (char& c : text)
        c = char(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

// Bytes that a file name must not hold (path separators, Windows-reserved characters, control
// and non-ASCII bytes) become "_"; "..", "." and empty names cannot survive.
std::string safeName(std::string name, const std::string& fallback) {
    static const std::string forbidden = "\"*/:<>?\\|";
    for (char& c : name) {
        const unsigned char u = static_cast<unsigned char>(c);
        if (u < 0x20 || u >= 0x80 || forbidden.find(c) != std::string::npos)
            c = '_';
    }
    if (name.empty() || name == "." || name == "..")
        return fallback;
    for (std::size_t at = name.find(".."); at != std::string::npos; at = name.find(".."))
        name.replace(at, 2, "_");
    return name;
}

// The key is already a safe name, or empty.
std::string sanitizeFilename(const std::string& url, const std::string& safeKey) {
    std::string name = url.substr(0, url.find('?'));
    name = name.substr(0, name.find('#'));
    const std::size_t slash = name.find_last_of("/\\");
    if (slash != std::string::npos)
        name = name.substr(slash + 1);
    return safeName(name, (safeKey.empty() ? std::string("package") : safeKey) + ".exe");
}

// The catalog names the key: it becomes a folder and a file name, so it must be a safe one.
std::string applicationKey(const UpdateManifest& manifest) {
    return safeName(manifest.slug.empty() ? manifest.applicationId : manifest.slug, std::string());
}

fs::path toPath(const std::string& utf8) {
    return fs::u8path(utf8);
}

// A folder path without "." or ".." steps and without a trailing separator.
fs::path normalFolder(const fs::path& folder) {
    fs::path normal = folder.lexically_normal();
    if (!normal.has_filename() && normal.has_relative_path())
        normal = normal.parent_path();
    return normal;
}

// Whatever the names held, the package must land directly in the staging folder.
void ensureDirectlyInside(const fs::path& target, const std::string& dir) {
    const fs::path folder = toPath(dir);
    std::error_code targetError;
    std::error_code folderError;
    const fs::path real = fs::weakly_canonical(target.parent_path(), targetError);
    const bool inside = normalFolder(target.parent_path()) == normalFolder(folder) &&
                        !targetError && real == fs::weakly_canonical(folder, folderError) &&
                        !folderError;
    if (!inside)
        throw std::runtime_error("Refusing to stage a package outside the staging folder: " +
                                 target.u8string());
}

void removeQuietly(const fs::path& path) {
    std::error_code ignored;
    fs::remove(path, ignored);
}

[[noreturn]] void failStaging(const std::string& dir, const std::string& reason) {
    throw std::runtime_error("Failed to create staging directory '" + dir + "': " + reason);
}

#ifdef _WIN32
std::string environmentValue(const wchar_t* name) {
    std::wstring buffer(260, L'\0');
    DWORD n = GetEnvironmentVariableW(name, buffer.data(), DWORD(buffer.size()));
    if (n > buffer.size()) {
        buffer.resize(n);
        n = GetEnvironmentVariableW(name, buffer.data(), DWORD(buffer.size()));
    }
    if (n == 0 || n >= buffer.size())
        return std::string();
    buffer.resize(n);
    return fs::path(buffer).u8string();
}
#else
std::string absoluteEnvironmentValue(const char* name) {
    const char* value = std::getenv(name);
    return value && value[0] == '/' ? std::string(value) : std::string();
}

// The folder must be a real directory of this user that nobody else can write into: a package
// staged there is executed later.
void ensurePrivateDir(const fs::path& dir) {
    if (::mkdir(dir.c_str(), 0700) != 0 && errno != EEXIST)
        failStaging(dir.string(), std::generic_category().message(errno));
    struct stat info = {};
    if (::lstat(dir.c_str(), &info) != 0)
        failStaging(dir.string(), std::generic_category().message(errno));
    if (!S_ISDIR(info.st_mode) || info.st_uid != ::geteuid())
        failStaging(dir.string(), "not a folder owned by this user");
    if ((info.st_mode & 077) != 0 && ::chmod(dir.c_str(), 0700) != 0)
        failStaging(dir.string(), std::generic_category().message(errno));
}
#endif

} // namespace

PackageDownloader::PackageDownloader(std::string stagingDir,
                                     std::shared_ptr<HttpTransport> transport, int connectTimeoutMs,
                                     int readTimeoutMs, std::int64_t maxUnsizedBytes)
    : m_stagingDir(std::move(stagingDir)),
      m_transport(transport ? std::move(transport) : HttpTransport::createDefault()),
      m_connectTimeoutMs(connectTimeoutMs), m_readTimeoutMs(readTimeoutMs),
      m_maxUnsizedBytes(maxUnsizedBytes) {}

std::string PackageDownloader::resolveStagingDir(const std::string& appKey) const {
    if (!m_stagingDir.empty())
        return m_stagingDir;
    // The key comes from the catalog: it must stay one folder name.
    const std::string name = safeName(appKey, "default");
#ifdef _WIN32
    std::string base = environmentValue(L"TEMP");
    if (base.empty())
        base = environmentValue(L"TMP");
    if (base.empty())
        base = "C:\\Windows\\Temp";
    return (toPath(base) / "selfupdate" / toPath(name)).u8string();
#else
    std::string base = absoluteEnvironmentValue("XDG_CACHE_HOME");
    if (base.empty()) {
        std::string home = absoluteEnvironmentValue("HOME");
        if (home.empty()) {
            const passwd* user = ::getpwuid(::geteuid());
            home = user && user->pw_dir ? user->pw_dir : "";
        }
        base = home.empty() ? std::string() : (fs::path(home) / ".cache").string();
    }
    if (base.empty())
        return std::string();
    return (fs::path(base) / "tessaryn" / "selfupdate" / name).string();
#endif
}

void PackageDownloader::prepareStagingDir(const std::string& dir) const {
    if (dir.empty())
        failStaging(dir, "no cache folder for this user");
    const fs::path path = toPath(dir);
    std::error_code ec;
#ifdef _WIN32
    fs::create_directories(path, ec);
    if (ec)
        failStaging(dir, ec.message());
#else
    // The automatic folder's own three levels are checked; a host-given folder is checked itself.
    const bool automatic = m_stagingDir.empty();
    const fs::path top = automatic ? path.parent_path().parent_path() : path;
    fs::create_directories(top.parent_path(), ec);
    if (ec)
        failStaging(dir, ec.message());
    ensurePrivateDir(top);
    if (automatic) {
        ensurePrivateDir(path.parent_path());
        ensurePrivateDir(path);
    }
#endif
}

std::string PackageDownloader::downloadAndVerify(const UpdateManifest& manifest,
                                                 const ProgressCallback& onProgress,
                                                 const std::atomic<bool>* cancelFlag) const {
    if (isCancelled(cancelFlag))
        throw std::runtime_error("Download cancelled before start");
    const std::string key = applicationKey(manifest);
    const std::string dir = resolveStagingDir(key);
    prepareStagingDir(dir);
    const fs::path target = toPath(dir) / toPath(sanitizeFilename(manifest.packageUrl, key));
    ensureDirectlyInside(target, dir);
    fs::path part = target;
    part += ".part";

    removeQuietly(part);
    std::ofstream file(part, std::ios::binary | std::ios::trunc);
    if (!file)
        throw std::runtime_error("Failed to open staging file for writing: " + part.u8string());

    Sha256 hasher;
    std::int64_t downloaded = 0;
    bool oversize = false;
    bool overLimit = false;
    const bool sized = manifest.sizeBytes >= 1;
    const HttpTransport::ChunkCallback onChunk = [&](const void* data, std::size_t size,
                                                     std::int64_t totalBytes) {
        if (isCancelled(cancelFlag))
            return false;
        // Without a declared size only the limit stands between an endless answer and the disk.
        if (!sized && (totalBytes > m_maxUnsizedBytes ||
                       downloaded + std::int64_t(size) > m_maxUnsizedBytes)) {
            overLimit = true;
            return false;
        }
        // More than the declared size is already a mismatch; nothing past it is accepted.
        if (manifest.sizeBytes >= 1 && downloaded + std::int64_t(size) > manifest.sizeBytes) {
            downloaded += std::int64_t(size);
            oversize = true;
            return false;
        }
        file.write(static_cast<const char*>(data), std::streamsize(size));
        if (!file)
            return false;
        hasher.update(data, size);
        downloaded += std::int64_t(size);
        if (onProgress)
            onProgress(downloaded, totalBytes > 0 ? totalBytes : manifest.sizeBytes);
        return true;
    };
    std::string error;
    const bool ok = m_transport->downloadStream(manifest.packageUrl, onChunk, m_connectTimeoutMs,
                                                m_readTimeoutMs, cancelFlag, &error);
    file.close();

    const auto fail = [&](const std::string& message) {
        removeQuietly(part);
        throw std::runtime_error(message);
    };
    if (isCancelled(cancelFlag))
        fail("Download cancelled");
    if (overLimit)
        fail("Package exceeds the limit of " + std::to_string(m_maxUnsizedBytes) + " bytes");
    if (oversize || (ok && manifest.sizeBytes >= 1 && manifest.sizeBytes != downloaded))
        fail("Package size mismatch: expected " + std::to_string(manifest.sizeBytes) +
             " bytes, received " + std::to_string(downloaded) + " bytes");
    if (!ok)
        fail("Download failed: " + (error.empty() ? std::string("network transfer error") : error));
    if (file.fail())
        fail("Failed to write staging file: " + part.u8string());
    const std::string computed = hasher.finalHex();
    if (lower(computed) != lower(manifest.sha256))
        fail("SHA-256 digest mismatch: expected " + manifest.sha256 + ", computed " + computed);

    removeQuietly(target);
    std::error_code ec;
    fs::rename(part, target, ec);
    if (ec)
        fail("Failed to rename temporary part file to target executable: " + ec.message());
    return target.u8string();
}

} // namespace selfupdate
