#pragma once

#ifdef _WIN32

#include "selfupdate/HttpTransport.h"

namespace selfupdate {

// HttpTransport over WinHTTP. Stateless: every call opens and closes its own handles.
// Redirects are followed by hand so every hop is checked.
class WinHttpTransport : public HttpTransport {
public:
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
