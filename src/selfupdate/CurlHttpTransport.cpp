#ifndef _WIN32

#include "selfupdate/CurlHttpTransport.h"
#include "selfupdate/TextUtil.h"

#include <curl/curl.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <mutex>

namespace selfupdate {

namespace {

using Clock = std::chrono::steady_clock;

constexpr const char* UserAgent = "selfupdate/1.0";

// What one request learned, filled by curl's callbacks on the calling thread.
struct RequestContext {
    const HttpTransport::ChunkCallback* onChunk = nullptr;
    const std::atomic<bool>* cancelFlag = nullptr;
    long readTimeoutMs = 0;

    bool connected = false;
    bool headersDone = false;
    int status = 0;
    std::int64_t contentLength = -1;
    std::string location;
    Clock::time_point lastActivity = Clock::now();

    // Why a callback stopped the transfer, if one did.
    enum class Stop { None, NotWanted, Cancelled, ChunkAbort, ReadTimeout };
    Stop stop = Stop::None;
};

bool isCancelled(const std::atomic<bool>* flag) {
    return flag && flag->load();
}

bool startsWithNoCase(const std::string& text, const char* prefix) {
    std::size_t i = 0;
    for (; prefix[i]; ++i) {
        if (i >= text.size() || std::tolower(static_cast<unsigned char>(text[i])) !=
                                    std::tolower(static_cast<unsigned char>(prefix[i])))
            return false;
    }
    return true;
}

std::int64_t parseLength(const std::string& value) {
    if (value.empty() || value.size() > 18 || !std::all_of(value.begin(), value.end(), [](char c) {
            return std::isdigit(static_cast<unsigned char>(c));
        }))
        return -1;
    return std::stoll(value);
}

size_t onHeader(char* data, size_t size, size_t count, void* user) {
    auto* ctx = static_cast<RequestContext*>(user);
    const size_t length = size * count;
    const std::string line(data, length);
    ctx->lastActivity = Clock::now();
    if (startsWithNoCase(line, "HTTP/")) {
        // Each response (an interim 1xx one too) starts over.
        ctx->headersDone = false;
        ctx->location.clear();
        ctx->contentLength = -1;
        const std::size_t space = line.find(' ');
        const std::string code = space == std::string::npos ? "" : line.substr(space + 1, 3);
        const std::int64_t parsed = parseLength(code);
        ctx->status = parsed < 0 ? 0 : int(parsed);
    } else if (ctx->headersDone) {
        // Trailers after a chunked body change nothing.
    } else if (line == "\r\n" || line == "\n") {
        ctx->headersDone = true;
    } else if (startsWithNoCase(line, "Location:")) {
        ctx->location = TextUtil::trimmed(line.substr(9));
    } else if (startsWithNoCase(line, "Content-Length:")) {
        ctx->contentLength = parseLength(TextUtil::trimmed(line.substr(15)));
    }
    return length;
}

size_t onBody(char* data, size_t size, size_t count, void* user) {
    auto* ctx = static_cast<RequestContext*>(user);
    const size_t length = size * count;
    ctx->lastActivity = Clock::now();
    // Only a final 2xx body is delivered; a redirect's or an error's is not read at all.
    if (ctx->status < 200 || ctx->status > 299) {
        ctx->stop = RequestContext::Stop::NotWanted;
        return 0;
    }
    for (size_t offset = 0; offset < length; offset += HttpTransport::ChunkSize) {
        if (isCancelled(ctx->cancelFlag)) {
            ctx->stop = RequestContext::Stop::Cancelled;
            return 0;
        }
        const size_t piece = std::min(HttpTransport::ChunkSize, length - offset);
        if (*ctx->onChunk && !(*ctx->onChunk)(data + offset, piece, ctx->contentLength)) {
            ctx->stop = RequestContext::Stop::ChunkAbort;
            return 0;
        }
    }
    return length;
}

int onPrerequest(void* user, char*, char*, int, int) {
    auto* ctx = static_cast<RequestContext*>(user);
    ctx->connected = true;
    ctx->lastActivity = Clock::now();
    return CURL_PREREQFUNC_OK;
}

// Called often while data flows and about once a second while it does not: the read timeout
// and a cancel during a stall are noticed here.
int onProgress(void* user, curl_off_t, curl_off_t, curl_off_t, curl_off_t) {
    auto* ctx = static_cast<RequestContext*>(user);
    if (isCancelled(ctx->cancelFlag)) {
        ctx->stop = RequestContext::Stop::Cancelled;
        return 1;
    }
    const auto idle = Clock::now() - ctx->lastActivity;
    if (ctx->connected && ctx->readTimeoutMs > 0 &&
        idle > std::chrono::milliseconds(ctx->readTimeoutMs)) {
        ctx->stop = RequestContext::Stop::ReadTimeout;
        return 1;
    }
    return 0;
}

// The URL must be absolute http(s) with a host: a request needs somewhere to go.
bool isUsableUrl(const std::string& url) {
    CURLU* handle = curl_url();
    if (!handle)
        return false;
    bool usable = false;
    if (curl_url_set(handle, CURLUPART_URL, url.c_str(), 0) == CURLUE_OK) {
        char* scheme = nullptr;
        char* host = nullptr;
        if (curl_url_get(handle, CURLUPART_SCHEME, &scheme, 0) == CURLUE_OK &&
            curl_url_get(handle, CURLUPART_HOST, &host, 0) == CURLUE_OK) {
            const std::string s = scheme;
            usable = (s == "http" || s == "https") && host[0] != '\0';
        }
        curl_free(scheme);
        curl_free(host);
    }
    curl_url_cleanup(handle);
    return usable;
}

struct EasyHandle {
    CURL* handle = curl_easy_init();
    curl_slist* headers = nullptr;
    ~EasyHandle() {
        curl_slist_free_all(headers);
        if (handle)
            curl_easy_cleanup(handle);
    }
};

void setError(std::string* errorOut, const std::string& text) {
    if (errorOut)
        *errorOut = text;
}

} // namespace

CurlHttpTransport::CurlHttpTransport() {
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

HttpResponse CurlHttpTransport::get(const std::string& url, int connectTimeoutMs, int readTimeoutMs,
                                    const std::atomic<bool>* cancelFlag) {
    return collectBody([&](const ChunkCallback& onChunk, int* statusOut, std::string* errorOut) {
        transfer(url, onChunk, connectTimeoutMs, readTimeoutMs, cancelFlag, statusOut, errorOut);
    });
}

bool CurlHttpTransport::downloadStream(const std::string& url, const ChunkCallback& onChunk,
                                       int connectTimeoutMs, int readTimeoutMs,
                                       const std::atomic<bool>* cancelFlag, std::string* errorOut) {
    int status = 0;
    return transfer(url, onChunk, connectTimeoutMs, readTimeoutMs, cancelFlag, &status, errorOut);
}

bool CurlHttpTransport::transfer(const std::string& startUrl, const ChunkCallback& onChunk,
                                 int connectTimeoutMs, int readTimeoutMs,
                                 const std::atomic<bool>* cancelFlag, int* statusOut,
                                 std::string* errorOut) const {
    *statusOut = 0;
    EasyHandle easy;
    if (!easy.handle) {
        setError(errorOut,
                 std::string("curl could not start: ") + curl_easy_strerror(CURLE_FAILED_INIT));
        return false;
    }
    easy.headers = curl_slist_append(easy.headers, "Cache-Control: no-cache");
    easy.headers = curl_slist_append(easy.headers, "Pragma: no-cache");

    std::string url = startUrl;
    for (int request = 0;; ++request) {
        if (isCancelled(cancelFlag)) {
            setError(errorOut, CancelledBeforeRequestText);
            return false;
        }
        if (!isUsableUrl(url)) {
            setError(errorOut, BadUrlText);
            return false;
        }
        RequestContext ctx;
        ctx.onChunk = &onChunk;
        ctx.cancelFlag = cancelFlag;
        ctx.readTimeoutMs = readTimeoutMs;

        CURL* h = easy.handle;
        curl_easy_reset(h);
        curl_easy_setopt(h, CURLOPT_URL, url.c_str());
        curl_easy_setopt(h, CURLOPT_HTTPGET, 1L);
        curl_easy_setopt(h, CURLOPT_PROTOCOLS_STR, "http,https");
        curl_easy_setopt(h, CURLOPT_FOLLOWLOCATION, 0L);
        curl_easy_setopt(h, CURLOPT_NOSIGNAL, 1L);
        curl_easy_setopt(h, CURLOPT_USERAGENT, UserAgent);
        curl_easy_setopt(h, CURLOPT_HTTPHEADER, easy.headers);
        curl_easy_setopt(h, CURLOPT_BUFFERSIZE, long(ChunkSize));
        if (connectTimeoutMs > 0)
            curl_easy_setopt(h, CURLOPT_CONNECTTIMEOUT_MS, long(connectTimeoutMs));
        curl_easy_setopt(h, CURLOPT_HEADERFUNCTION, &onHeader);
        curl_easy_setopt(h, CURLOPT_HEADERDATA, &ctx);
        curl_easy_setopt(h, CURLOPT_WRITEFUNCTION, &onBody);
        curl_easy_setopt(h, CURLOPT_WRITEDATA, &ctx);
        curl_easy_setopt(h, CURLOPT_PREREQFUNCTION, &onPrerequest);
        curl_easy_setopt(h, CURLOPT_PREREQDATA, &ctx);
        curl_easy_setopt(h, CURLOPT_NOPROGRESS, 0L);
        curl_easy_setopt(h, CURLOPT_XFERINFOFUNCTION, &onProgress);
        curl_easy_setopt(h, CURLOPT_XFERINFODATA, &ctx);

        const CURLcode code = curl_easy_perform(h);
        using Stop = RequestContext::Stop;
        if (code != CURLE_OK && ctx.stop != Stop::NotWanted) {
            *statusOut = 0;
            if (ctx.stop == Stop::Cancelled) {
                setError(errorOut,
                         ctx.headersDone ? CancelledDuringBodyText : CancelledBeforeRequestText);
            } else if (ctx.stop == Stop::ChunkAbort) {
                setError(errorOut, ChunkAbortText);
            } else {
                // Where the transfer broke, in curl's own words.
                const CURLcode reported =
                    ctx.stop == Stop::ReadTimeout ? CURLE_OPERATION_TIMEDOUT : code;
                const char* step = !ctx.connected     ? "Could not connect: "
                                   : !ctx.headersDone ? "No response: "
                                                      : "Download interrupted: ";
                setError(errorOut, step + std::string(curl_easy_strerror(reported)) +
                                       " (curl error " + std::to_string(int(reported)) + ")");
            }
            return false;
        }
        *statusOut = ctx.status;
        if (isRedirectStatus(ctx.status) && !ctx.location.empty()) {
            // The fifth redirect is not followed: false with no text, the redirect's status kept.
            if (request == MaxRedirects)
                return false;
            const std::string next = resolveLocation(url, ctx.location);
            if (!isRedirectAllowed(url, next)) {
                setError(errorOut, InsecureRedirectText);
                return false;
            }
            url = next;
            continue;
        }
        if (ctx.status < 200 || ctx.status > 299) {
            setError(errorOut, errorStatusText(ctx.status));
            return false;
        }
        return true;
    }
}

} // namespace selfupdate

#endif
