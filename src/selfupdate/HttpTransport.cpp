#include "selfupdate/HttpTransport.h"

#ifdef _WIN32
#include "selfupdate/WinHttpTransport.h"
#else
#include "selfupdate/CurlHttpTransport.h"
#endif

#include <cctype>

namespace selfupdate {

namespace {

// The lower-cased scheme of an absolute URL; empty for a relative one.
std::string lowerScheme(const std::string& url) {
    std::string scheme;
    for (char c : url) {
        const unsigned char u = static_cast<unsigned char>(c);
        if (c == ':')
            return scheme;
        const bool valid =
            std::isalpha(u) ||
            (!scheme.empty() && (std::isdigit(u) || c == '+' || c == '-' || c == '.'));
        if (!valid)
            return std::string();
        scheme += char(std::tolower(u));
    }
    return std::string();
}

} // namespace

HttpTransport::~HttpTransport() = default;

HttpResponse HttpTransport::collectBody(const Transfer& transfer) {
    HttpResponse response;
    bool tooLarge = false;
    const ChunkCallback append = [&](const void* data, std::size_t size, std::int64_t total) {
        if (total > std::int64_t(MaxGetBodyBytes) ||
            response.body.size() + size > MaxGetBodyBytes) {
            tooLarge = true;
            return false;
        }
        response.body.append(static_cast<const char*>(data), size);
        return true;
    };
    transfer(append, &response.statusCode, &response.error);
    if (tooLarge) {
        response.body.clear();
        response.error = bodyTooLargeText();
    }
    return response;
}

std::shared_ptr<HttpTransport> HttpTransport::createDefault() {
#ifdef _WIN32
    return std::make_shared<WinHttpTransport>();
#else
    return std::make_shared<CurlHttpTransport>();
#endif
}

bool HttpTransport::isRedirectAllowed(const std::string& fromUrl, const std::string& toUrl) {
    // A relative target keeps the scheme; it fails later as a URL that cannot be split.
    const std::string to = lowerScheme(toUrl);
    return lowerScheme(fromUrl) != "https" || to.empty() || to == "https";
}

bool HttpTransport::isRedirectStatus(int status) {
    return status == 301 || status == 302 || status == 303 || status == 307 || status == 308;
}

std::string HttpTransport::errorStatusText(int status) {
    return "HTTP server returned error status " + std::to_string(status);
}

std::string HttpTransport::bodyTooLargeText() {
    return "Response body exceeds " + std::to_string(MaxGetBodyBytes) + " bytes";
}

} // namespace selfupdate
