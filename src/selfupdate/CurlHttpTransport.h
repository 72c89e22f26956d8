#pragma once

#ifndef _WIN32

#include "selfupdate/HttpTransport.h"

namespace selfupdate {

// HttpTransport over libcurl with the observable behaviour of the WinHTTP one, including its
// result texts (a curl error number stands where WinHTTP's would). Stateless: each call uses
// its own curl handle. Redirects are followed by hand so every hop is checked.
class CurlHttpTransport : public HttpTransport {
public:
    CurlHttpTransport();

    HttpResponse get(const std::string& url, int connectTimeoutMs, int readTimeoutMs,
                     const std::atomic<bool>* cancelFlag) override;
    bool downloadStream(const std::string& url, const ChunkCallback& onChunk, int connectTimeoutMs,
                        int readTimeoutMs, const std::atomic<bool>* cancelFlag,
                        std::string* errorOut) override;

private:
    bool transfer(const std::string& url, const ChunkCallback& onChunk, int connectTimeoutMs,
                  int readTimeoutMs, const std::atomic<bool>* cancelFlag, int* statusOut,
                  std::string* errorOut) const;
};

} // namespace selfupdate

#endif
