#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>

namespace selfupdate {

struct HttpResponse {
    // Status of the final response; 0 when none arrived or the body transfer failed.
    int statusCode = 0;
    std::string body;
    // Reserved; the transports leave it empty.
    std::map<std::string, std::string> headers;
    // Empty on success.
    std::string error;
};

// Blocking HTTP GET, shared by the checker and the downloader so neither sees the platform's
// HTTP stack and tests can inject their own. Implementations keep no per-call state, so one
// instance may serve several threads at once. Failures are returned, never thrown.
class HttpTransport {
public:
    // data, size (at most ChunkSize), Content-Length or -1; false aborts the transfer.
    using ChunkCallback = std::function<bool(const void* data, std::size_t size, std::int64_t)>;

    static constexpr std::size_t ChunkSize = 16384;
    // Redirects followed after the first request.
    static constexpr int MaxRedirects = 4;
    // get() keeps the body in memory: a catalog is small, an endless answer must not be.
    static constexpr std::size_t MaxGetBodyBytes = 1024 * 1024;

    virtual ~HttpTransport();

    // The status lands in the response, judged by the caller; a body over MaxGetBodyBytes fails.
    virtual HttpResponse get(const std::string& url, int connectTimeoutMs, int readTimeoutMs,
                             const std::atomic<bool>* cancelFlag) = 0;
    // True only when the final status was 2xx and its whole body reached onChunk.
    virtual bool downloadStream(const std::string& url, const ChunkCallback& onChunk,
                                int connectTimeoutMs, int readTimeoutMs,
                                const std::atomic<bool>* cancelFlag, std::string* errorOut) = 0;

    // WinHTTP on Windows, libcurl elsewhere.
    static std::shared_ptr<HttpTransport> createDefault();

    // A package reached over https must not be handed over by a plain-http hop, where anyone on
    // the path could replace it: false for an https URL redirected to a non-https one. toUrl is
    // already resolved (resolveLocation).
    static bool isRedirectAllowed(const std::string& fromUrl, const std::string& toUrl);
    static bool isRedirectStatus(int status);
    // A Location value made absolute against the URL that answered with it (a relative
    // reference: "/path", "path", "../path", "?query", "//host/path").
    static std::string resolveLocation(const std::string& base, const std::string& location);

    // The fixed texts both implementations report.
    static constexpr const char* CancelledBeforeRequestText = "Operation cancelled";
    static constexpr const char* CancelledDuringBodyText = "Download cancelled";
    static constexpr const char* ChunkAbortText = "Stream chunk callback requested abort";
#ifdef _WIN32
    static constexpr const char* BadUrlText = "WinHttpCrackUrl failed for URL";
#else
    static constexpr const char* BadUrlText = "Not an absolute http(s) URL";
#endif
    static constexpr const char* InsecureRedirectText = "Redirect from https to http refused";
    static std::string errorStatusText(int status);
    static std::string bodyTooLargeText();

protected:
    // One transfer of an implementation: feeds the body to onChunk, reports status and error.
    using Transfer =
        std::function<void(const ChunkCallback& onChunk, int* statusOut, std::string* errorOut)>;
    // get() for every implementation: the body kept in memory, refused past MaxGetBodyBytes.
    static HttpResponse collectBody(const Transfer& transfer);
};

} // namespace selfupdate
