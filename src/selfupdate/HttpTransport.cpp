#include "selfupdate/HttpTransport.h"

#ifdef _WIN32
#include "selfupdate/WinHttpTransport.h"
#else
#include "selfupdate/CurlHttpTransport.h"
#endif

#include <algorithm>
#include <cctype>
#include <vector>

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

// An absolute path with its "." and ".." segments applied; ".." never climbs above the root.
std::string removeDotSegments(const std::string& path) {
    std::vector<std::string> kept;
    bool endsInFolder = false;
    for (std::size_t at = 1; at <= path.size();) {
        const std::size_t end = std::min(path.find('/', at), path.size());
        const std::string segment = path.substr(at, end - at);
        at = end + 1;
        endsInFolder = segment == "." || segment == "..";
        if (segment == "..") {
            if (!kept.empty())
                kept.pop_back();
        } else if (segment != ".") {
            kept.push_back(segment);
        }
    }
    std::string result;
    for (const std::string& segment : kept)
        result += "/" + segment;
    return result.empty() || endsInFolder ? result + "/" : result;
}

} // namespace

HttpTransport::~HttpTransport() = default;

std::string HttpTransport::resolveLocation(const std::string& base, const std::string& location) {
    const std::string scheme = lowerScheme(base);
    if (!lowerScheme(location).empty() || scheme.empty() || base.compare(scheme.size(), 3, "://"))
        return location;
    if (location.rfind("//", 0) == 0)
        return base.substr(0, scheme.size() + 1) + location;
    const std::size_t pathStart =
        std::min(base.find_first_of("/?#", scheme.size() + 3), base.size());
    const std::string origin = base.substr(0, pathStart);
    const std::string rest = base.substr(pathStart, base.find('#') - pathStart);
    const std::size_t restPathEnd = std::min(rest.find('?'), rest.size());
    const std::string basePath = restPathEnd == 0 ? "/" : rest.substr(0, restPathEnd);
    if (location.empty() || location[0] == '#')
        return origin + rest + location;
    if (location[0] == '?')
        return origin + basePath + location;
    const std::size_t pathEnd = std::min(location.find_first_of("?#"), location.size());
    std::string path = location.substr(0, pathEnd);
    if (path[0] != '/')
        path = basePath.substr(0, basePath.rfind('/') + 1) + path;
    return origin + removeDotSegments(path) + location.substr(pathEnd);
}

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
