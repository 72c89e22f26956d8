#ifdef _WIN32

#include "selfupdate/WinHttpTransport.h"
#include "selfupdate/TextUtil.h"

#define NOMINMAX
#include <windows.h>
#include <winhttp.h>

#include <algorithm>
#include <vector>

namespace selfupdate {

namespace {

// Closes a WinHTTP handle when it leaves scope; handles are declared outermost first, so they
// close innermost first.
struct Handle {
    HINTERNET value = nullptr;
    explicit Handle(HINTERNET h) : value(h) {}
    Handle(const Handle&) = delete;
    Handle& operator=(const Handle&) = delete;
    ~Handle() {
        if (value)
            WinHttpCloseHandle(value);
    }
};

std::string lastError() {
    return std::to_string(static_cast<unsigned long>(GetLastError()));
}

bool isCancelled(const std::atomic<bool>* flag) {
    return flag && flag->load();
}

void setError(std::string* errorOut, const std::string& text) {
    if (errorOut)
        *errorOut = text;
}

// The Location header as sent, or empty.
std::string queryLocation(HINTERNET request) {
    DWORD bytes = 0;
    WinHttpQueryHeaders(request, WINHTTP_QUERY_LOCATION, WINHTTP_HEADER_NAME_BY_INDEX, nullptr,
                        &bytes, WINHTTP_NO_HEADER_INDEX);
    if (GetLastError() != ERROR_INSUFFICIENT_BUFFER || bytes == 0)
        return std::string();
    std::wstring value(bytes / sizeof(wchar_t), L'\0');
    if (!WinHttpQueryHeaders(request, WINHTTP_QUERY_LOCATION, WINHTTP_HEADER_NAME_BY_INDEX,
                             value.data(), &bytes, WINHTTP_NO_HEADER_INDEX))
        return std::string();
    value.resize(bytes / sizeof(wchar_t));
    return TextUtil::narrow(value);
}

std::int64_t queryContentLength(HINTERNET request) {
    wchar_t buffer[32] = {};
    DWORD bytes = sizeof(buffer);
    if (!WinHttpQueryHeaders(request, WINHTTP_QUERY_CONTENT_LENGTH, WINHTTP_HEADER_NAME_BY_INDEX,
                             buffer, &bytes, WINHTTP_NO_HEADER_INDEX))
        return -1;
    return _wcstoi64(buffer, nullptr, 10);
}

} // namespace

HttpResponse WinHttpTransport::get(const std::string& url, int connectTimeoutMs, int readTimeoutMs,
                                   const std::atomic<bool>* cancelFlag) {
    return collectBody([&](const ChunkCallback& onChunk, int* statusOut, std::string* errorOut) {
        transfer(url, onChunk, connectTimeoutMs, readTimeoutMs, cancelFlag, statusOut, errorOut);
    });
}

bool WinHttpTransport::downloadStream(const std::string& url, const ChunkCallback& onChunk,
                                      int connectTimeoutMs, int readTimeoutMs,
                                      const std::atomic<bool>* cancelFlag, std::string* errorOut) {
    int status = 0;
    return transfer(url, onChunk, connectTimeoutMs, readTimeoutMs, cancelFlag, &status, errorOut);
}

bool WinHttpTransport::transfer(const std::string& startUrl, const ChunkCallback& onChunk,
                                int connectTimeoutMs, int readTimeoutMs,
                                const std::atomic<bool>* cancelFlag, int* statusOut,
                                std::string* errorOut) const {
    *statusOut = 0;
    Handle session(WinHttpOpen(L"selfupdate/1.0", WINHTTP_ACCESS_TYPE_DEFAULT_PROXY,
                               WINHTTP_NO_PROXY_NAME, WINHTTP_NO_PROXY_BYPASS, 0));
    if (!session.value) {
        setError(errorOut, "WinHttpOpen failed with error " + lastError());
        return false;
    }
    WinHttpSetTimeouts(session.value, connectTimeoutMs, connectTimeoutMs, readTimeoutMs,
                       readTimeoutMs);

    std::string url = startUrl;
    for (int request = 0;; ++request) {
        if (isCancelled(cancelFlag)) {
            setError(errorOut, CancelledBeforeRequestText);
            return false;
        }
        const std::wstring wideUrl = TextUtil::widen(url);
        URL_COMPONENTS parts = {};
        parts.dwStructSize = sizeof(parts);
        parts.dwSchemeLength = DWORD(-1);
        parts.dwHostNameLength = DWORD(-1);
        parts.dwUrlPathLength = DWORD(-1);
        parts.dwExtraInfoLength = DWORD(-1);
        if (!WinHttpCrackUrl(wideUrl.c_str(), DWORD(wideUrl.size()), 0, &parts)) {
            setError(errorOut, BadUrlText);
            return false;
        }
        const std::wstring host(parts.lpszHostName, parts.dwHostNameLength);
        std::wstring object(parts.lpszUrlPath, parts.dwUrlPathLength);
        object.append(parts.lpszExtraInfo, parts.dwExtraInfoLength);
        if (object.empty())
            object = L"/";
        const bool secure = parts.nScheme == INTERNET_SCHEME_HTTPS;

        Handle connection(WinHttpConnect(session.value, host.c_str(), parts.nPort, 0));
        if (!connection.value) {
            setError(errorOut, "WinHttpConnect failed: " + lastError());
            return false;
        }
        Handle req(WinHttpOpenRequest(connection.value, L"GET", object.c_str(), nullptr,
                                      WINHTTP_NO_REFERER, WINHTTP_DEFAULT_ACCEPT_TYPES,
                                      WINHTTP_FLAG_REFRESH | (secure ? WINHTTP_FLAG_SECURE : 0)));
        if (!req.value) {
            setError(errorOut, "WinHttpOpenRequest failed: " + lastError());
            return false;
        }
        // Redirects are followed below, where each hop is checked; the stack would also follow
        // one from https to http.
        DWORD policy = WINHTTP_OPTION_REDIRECT_POLICY_NEVER;
        WinHttpSetOption(req.value, WINHTTP_OPTION_REDIRECT_POLICY, &policy, sizeof(policy));
        WinHttpAddRequestHeaders(req.value, L"Cache-Control: no-cache\r\nPragma: no-cache\r\n",
                                 DWORD(-1), WINHTTP_ADDREQ_FLAG_ADD);
        if (!WinHttpSendRequest(req.value, WINHTTP_NO_ADDITIONAL_HEADERS, 0,
                                WINHTTP_NO_REQUEST_DATA, 0, 0, 0)) {
            setError(errorOut, "WinHttpSendRequest failed: " + lastError());
            return false;
        }
        if (!WinHttpReceiveResponse(req.value, nullptr)) {
            setError(errorOut, "WinHttpReceiveResponse failed: " + lastError());
            return false;
        }
        DWORD status = 0;
        DWORD statusSize = sizeof(status);
        WinHttpQueryHeaders(req.value, WINHTTP_QUERY_STATUS_CODE | WINHTTP_QUERY_FLAG_NUMBER,
                            WINHTTP_HEADER_NAME_BY_INDEX, &status, &statusSize,
                            WINHTTP_NO_HEADER_INDEX);
        *statusOut = int(status);

        if (isRedirectStatus(int(status))) {
            const std::string location = queryLocation(req.value);
            if (!location.empty()) {
                if (request == MaxRedirects)
                    return false;
                const std::string next = resolveLocation(url, location);
                if (!isRedirectAllowed(url, next)) {
                    setError(errorOut, InsecureRedirectText);
                    return false;
                }
                url = next;
                continue;
            }
        }
        if (status < 200 || status > 299) {
            setError(errorOut, errorStatusText(int(status)));
            return false;
        }

        const std::int64_t totalBytes = queryContentLength(req.value);
        std::vector<char> buffer(ChunkSize);
        for (;;) {
            if (isCancelled(cancelFlag)) {
                setError(errorOut, CancelledDuringBodyText);
                *statusOut = 0;
                return false;
            }
            DWORD available = 0;
            if (!WinHttpQueryDataAvailable(req.value, &available)) {
                setError(errorOut, "WinHttpQueryDataAvailable failed: " + lastError());
                *statusOut = 0;
                return false;
            }
            if (available == 0)
                return true;
            DWORD read = 0;
            const DWORD wanted = std::min<DWORD>(available, DWORD(ChunkSize));
            if (!WinHttpReadData(req.value, buffer.data(), wanted, &read)) {
                setError(errorOut, "WinHttpReadData failed: " + lastError());
                *statusOut = 0;
                return false;
            }
            if (read == 0)
                return true;
            if (onChunk && !onChunk(buffer.data(), read, totalBytes)) {
                setError(errorOut, ChunkAbortText);
                *statusOut = 0;
                return false;
            }
        }
    }
}

} // namespace selfupdate

#endif
