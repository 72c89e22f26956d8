#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

namespace selfupdate {

class HttpTransport;
class UpdateManifest;

// Fetches a release package into a staging folder, hashing it as it streams, and hands back a
// file that is complete, of the announced size and digest. The file is written as ".part" and
// renamed only after every check passed, so a staged package is never half-written.
class PackageDownloader {
public:
    using ProgressCallback = std::function<void(std::int64_t downloaded, std::int64_t total)>;

    // A package without a declared size (in the manifest) may not grow past this.
    static constexpr std::int64_t DefaultMaxUnsizedBytes = std::int64_t(2) * 1024 * 1024 * 1024;

    // An empty stagingDir picks the folder automatically; a null transport gets the default.
    PackageDownloader(std::string stagingDir, std::shared_ptr<HttpTransport> transport,
                      int connectTimeoutMs, int readTimeoutMs,
                      std::int64_t maxUnsizedBytes = DefaultMaxUnsizedBytes);

    // The staging folder for a manifest's application key (UTF-8). Automatic choice: the
    // user's own cache folder ($XDG_CACHE_HOME, else ~/.cache) + "tessaryn/selfupdate/<key>";
    // on Windows %TEMP% (or %TMP%, or C:\Windows\Temp) + "selfupdate\<key>". A key that is
    // not a plain folder name becomes "default".
    std::string resolveStagingDir(const std::string& appKey) const;

    // The verified package's full path, always directly inside the staging folder: names from
    // the catalog and the URL are made safe first. Throws std::runtime_error on every failure,
    // leaving no ".part" behind. Aborts as soon as more bytes arrive than a declared size, or,
    // without one, than maxUnsizedBytes.
    std::string downloadAndVerify(const UpdateManifest& manifest,
                                  const ProgressCallback& onProgress,
                                  const std::atomic<bool>* cancelFlag) const;

private:
    // Creates the folder; throws when it cannot be made or is not private to this user.
    void prepareStagingDir(const std::string& dir) const;

    std::string m_stagingDir;
    std::shared_ptr<HttpTransport> m_transport;
    int m_connectTimeoutMs;
    int m_readTimeoutMs;
    std::int64_t m_maxUnsizedBytes;
};

} // namespace selfupdate
