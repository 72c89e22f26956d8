// UpdateManifest's URL and version arithmetic: pure string computation that never fails.
#include "selfupdate/TextUtil.h"
#include "selfupdate/UpdateManifest.h"

#include <algorithm>
#include <limits>
#include <vector>

namespace selfupdate {

namespace {

constexpr std::int64_t Int64Max = std::numeric_limits<std::int64_t>::max();

bool startsWith(const std::string& text, const std::string& prefix) {
    return text.compare(0, prefix.size(), prefix) == 0;
}

// Trimmed, without one leading "v" or "V".
std::string versionText(const std::string& name) {
    std::string text = TextUtil::trimmed(name);
    if (!text.empty() && (text[0] == 'v' || text[0] == 'V'))
        text.erase(0, 1);
    return text;
}

std::vector<std::string> splitDots(const std::string& text) {
    std::vector<std::string> parts;
    if (text.empty())
        return parts;
    std::size_t start = 0;
    for (;;) {
        const std::size_t dot = text.find('.', start);
        parts.push_back(text.substr(start, dot - start));
        if (dot == std::string::npos)
            return parts;
        start = dot + 1;
    }
}

// A part's leading digit run without its leading zeros, so that runs of any length compare
// exactly: longer is larger, equal lengths compare digit by digit.
std::string leadingNumber(const std::string& part) {
    std::size_t end = 0;
    while (end < part.size() && part[end] >= '0' && part[end] <= '9')
        ++end;
    std::size_t first = 0;
    while (first < end && part[first] == '0')
        ++first;
    return part.substr(first, end - first);
}

int compareNumbers(const std::string& a, const std::string& b) {
    if (a.size() != b.size())
        return a.size() < b.size() ? -1 : 1;
    const int c = a.compare(b);
    return c < 0 ? -1 : (c > 0 ? 1 : 0);
}

// Saturating, so an absurdly long digit run reads as the largest code rather than overflowing.
std::int64_t saturatedValue(const std::string& digits) {
    std::int64_t value = 0;
    for (const char c : digits) {
        const int digit = c - '0';
        if (value > (Int64Max - digit) / 10)
            return Int64Max;
        value = value * 10 + digit;
    }
    return value;
}

std::int64_t saturatedAdd(std::int64_t a, std::int64_t b) {
    return a > Int64Max - b ? Int64Max : a + b;
}

std::int64_t saturatedScale(std::int64_t value, std::int64_t factor) {
    return value > Int64Max / factor ? Int64Max : value * factor;
}

} // namespace

std::string UpdateManifest::normalizeApplicationId(const std::string& id) {
    const std::string text = TextUtil::trimmed(id);
    const std::string suffix = ".debug";
    if (text.size() >= 7 && text.compare(text.size() - suffix.size(), suffix.size(), suffix) == 0)
        return text.substr(0, text.size() - suffix.size());
    return text;
}

std::string UpdateManifest::normalizeManifestUrl(const std::string& url) {
    const std::string text = TextUtil::trimmed(url);
    if (text.empty())
        return std::string(DefaultCatalogBaseUrl) + CatalogFileName;
    if (text.back() == '/')
        return text + CatalogFileName;
    return text;
}

std::string UpdateManifest::resolveRelativeUrl(const std::string& baseUrl, const std::string& url) {
    const std::string u = TextUtil::trimmed(url);
    if (startsWith(u, "http://") || startsWith(u, "https://"))
        return u;
    const std::string b = normalizeManifestUrl(baseUrl);
    if (startsWith(u, "/")) {
        const std::size_t scheme = b.find("://");
        if (scheme == std::string::npos)
            return u;
        const std::size_t pathStart = b.find('/', scheme + 3);
        return b.substr(0, pathStart) + u;
    }
    const std::size_t lastSlash = b.rfind('/');
    // A bare origin such as "https://host" has no folder: its last "/" belongs to the scheme,
    // and cutting there would make the relative path the host.
    const std::size_t scheme = b.find("://");
    if (lastSlash == std::string::npos || (scheme != std::string::npos && lastSlash < scheme + 3))
        return b + "/" + u;
    return b.substr(0, lastSlash + 1) + u;
}

std::int64_t UpdateManifest::parseVersionCode(const std::string& versionName) {
    std::string core = versionText(versionName);
    core = core.substr(0, core.find('-'));
    const std::vector<std::string> parts = splitDots(core);
    std::int64_t fields[3] = {0, 0, 0};
    for (std::size_t i = 0; i < 3 && i < parts.size(); ++i)
        fields[i] = saturatedValue(leadingNumber(parts[i]));
    return saturatedAdd(
        saturatedAdd(saturatedScale(fields[0], 10000), saturatedScale(fields[1], 100)), fields[2]);
}

int UpdateManifest::compareVersions(const std::string& a, const std::string& b) {
    const std::string textA = versionText(a);
    const std::string textB = versionText(b);
    const std::size_t dashA = textA.find('-');
    const std::size_t dashB = textB.find('-');
    const std::vector<std::string> partsA = splitDots(textA.substr(0, dashA));
    const std::vector<std::string> partsB = splitDots(textB.substr(0, dashB));

    const std::size_t count = std::max(partsA.size(), partsB.size());
    for (std::size_t i = 0; i < count; ++i) {
        // Missing parts are zeros, which leadingNumber renders as the empty run.
        const std::string numberA = i < partsA.size() ? leadingNumber(partsA[i]) : std::string();
        const std::string numberB = i < partsB.size() ? leadingNumber(partsB[i]) : std::string();
        const int c = compareNumbers(numberA, numberB);
        if (c != 0)
            return c;
    }

    // A pre-release is older than its release; two labels compare byte by byte.
    const bool labelA = dashA != std::string::npos;
    const bool labelB = dashB != std::string::npos;
    if (!labelA || !labelB)
        return labelA == labelB ? 0 : (labelA ? -1 : 1);
    const int c = textA.compare(dashA + 1, std::string::npos, textB, dashB + 1, std::string::npos);
    return c < 0 ? -1 : (c > 0 ? 1 : 0);
}

bool UpdateManifest::isNewerThan(const std::string& installedVersionName,
                                 std::int64_t installedVersionCode) const {
    if (!installedVersionName.empty() && !versionName.empty()) {
        const int c = compareVersions(versionName, installedVersionName);
        if (c > 0)
            return true;
        if (c < 0)
            return false;
        if (installedVersionCode < 1)
            return false;
    }
    return installedVersionCode < versionCode;
}

} // namespace selfupdate
