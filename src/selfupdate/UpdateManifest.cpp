#include "selfupdate/UpdateManifest.h"
#include "selfupdate/TextUtil.h"

#include <charconv>
#include <cmath>
#include <limits>
#include <map>
#include <stdexcept>
#include <system_error>
#include <vector>

namespace selfupdate {

namespace {

// The catalog reader: only fromJson parses JSON, so the tree and the parser stay in this file.
class JsonValue {
public:
    enum Kind { Null = 0, Bool = 1, Number = 2, String = 3, Array = 4, Object = 5 };

    Kind kind = Null;
    bool boolValue = false;
    std::int64_t intValue = 0;
    double doubleValue = 0.0;
    std::string stringValue;
    std::vector<JsonValue> arrayValue;
    std::map<std::string, JsonValue> objectValue;

    // The member when this is an object holding it, else null.
    const JsonValue* member(const std::string& key) const {
        if (kind != Object)
            return nullptr;
        const auto it = objectValue.find(key);
        return it == objectValue.end() ? nullptr : &it->second;
    }

    // A member of any other kind reads as absent, so a mistyped field takes its default.
    std::string getString(const std::string& key, const std::string& fallback) const {
        const JsonValue* value = member(key);
        return value && value->kind == String ? value->stringValue : fallback;
    }
};

class JsonParser {
public:
    explicit JsonParser(const std::string& text) : m_text(text) {}

    // The whole input must be exactly one value, blanks around it allowed.
    JsonValue parseDocument() {
        skipWhitespace();
        if (atEnd())
            throw std::invalid_argument("Empty JSON input");
        JsonValue root = parseValue();
        skipWhitespace();
        if (!atEnd())
            throw std::invalid_argument("Unexpected trailing characters in JSON");
        return root;
    }

    JsonValue parseValue() {
        skipWhitespace();
        if (atEnd())
            failAt("Unexpected token parsing JSON at position ", m_pos);
        const char c = m_text[m_pos];
        switch (c) {
        case '"':
            return parseString();
        case '{':
            return parseObject();
        case '[':
            return parseArray();
        case 't':
        case 'f':
            return parseBool();
        case 'n':
            if (!consumeLiteral("null"))
                throw std::invalid_argument("Invalid null literal in JSON");
            return JsonValue();
        default:
            if (c == '-' || isDigit(c))
                return parseNumber();
            failAt("Unexpected token parsing JSON at position ", m_pos);
        }
    }

    JsonValue parseString() {
        ++m_pos; // the opening quote
        JsonValue value;
        value.kind = JsonValue::String;
        std::string& out = value.stringValue;
        for (;;) {
            if (atEnd())
                throw std::invalid_argument("Unterminated string in JSON");
            const char c = m_text[m_pos++];
            if (c == '"')
                return value;
            if (c != '\\') {
                out += c;
                continue;
            }
            if (atEnd())
                throw std::invalid_argument("Unterminated escape sequence in string");
            const char letter = m_text[m_pos++];
            switch (letter) {
            case '"':
            case '\\':
            case '/':
                out += letter;
                break;
            case 'b':
                out += '\b';
                break;
            case 'f':
                out += '\f';
                break;
            case 'n':
                out += '\n';
                break;
            case 'r':
                out += '\r';
                break;
            case 't':
                out += '\t';
                break;
            case 'u':
                appendUnicodeEscape(out);
                break;
            default:
                throw std::invalid_argument(std::string("Unknown escape character in string: \\") +
                                            letter);
            }
        }
    }

    JsonValue parseObject() {
        const DepthGuard guard(*this);
        ++m_pos; // the opening brace
        JsonValue value;
        value.kind = JsonValue::Object;
        skipWhitespace();
        if (!atEnd() && m_text[m_pos] == '}') {
            ++m_pos;
            return value;
        }
        if (atEnd())
            throw std::invalid_argument("Unterminated object in JSON");
        for (;;) {
            skipWhitespace();
            if (atEnd() || m_text[m_pos] != '"')
                failAt("Expected string key in object at position ", m_pos);
            std::string key = parseString().stringValue;
            skipWhitespace();
            if (takeByte() != ':')
                failAt("Expected ':' after key in object at position ", m_pos);
            // The last of duplicate keys wins.
            value.objectValue[std::move(key)] = parseValue();
            skipWhitespace();
            const int separator = takeByte();
            if (separator == '}')
                return value;
            if (separator != ',')
                failAt("Expected ',' or '}' in object at position ", m_pos);
            if (atEnd())
                throw std::invalid_argument("Unterminated object in JSON");
        }
    }

private:
    // Counts open arrays and objects; past the limit a hostile document fails instead of
    // exhausting the stack.
    class DepthGuard {
    public:
        explicit DepthGuard(JsonParser& parser) : m_parser(parser) {
            if (m_parser.m_depth >= UpdateManifest::MaxJsonDepth)
                m_parser.failAt("JSON nesting too deep at position ", m_parser.m_pos);
            ++m_parser.m_depth;
        }
        ~DepthGuard() { --m_parser.m_depth; }
        DepthGuard(const DepthGuard&) = delete;
        DepthGuard& operator=(const DepthGuard&) = delete;

    private:
        JsonParser& m_parser;
    };

    static bool isDigit(char c) { return c >= '0' && c <= '9'; }

    bool atEnd() const { return m_pos >= m_text.size(); }

    void skipWhitespace() {
        while (!atEnd()) {
            const char c = m_text[m_pos];
            if (c != ' ' && c != '\t' && c != '\n' && c != '\r')
                return;
            ++m_pos;
        }
    }

    // The next byte, moving past it; -1 at end of input, where the position stays.
    int takeByte() { return atEnd() ? -1 : static_cast<unsigned char>(m_text[m_pos++]); }

    bool digitAtPos() const { return !atEnd() && isDigit(m_text[m_pos]); }

    void skipDigits() {
        while (digitAtPos())
            ++m_pos;
    }

    [[noreturn]] static void failAt(const char* message, std::size_t position) {
        throw std::invalid_argument(message + std::to_string(position));
    }

    bool consumeLiteral(const std::string& literal) {
        if (m_text.compare(m_pos, literal.size(), literal) != 0)
            return false;
        m_pos += literal.size();
        return true;
    }

    JsonValue parseBool() {
        JsonValue value;
        value.kind = JsonValue::Bool;
        if (consumeLiteral("true"))
            value.boolValue = true;
        else if (!consumeLiteral("false"))
            throw std::invalid_argument("Invalid boolean value in JSON");
        return value;
    }

    JsonValue parseArray() {
        const DepthGuard guard(*this);
        ++m_pos; // the opening bracket
        JsonValue value;
        value.kind = JsonValue::Array;
        skipWhitespace();
        if (!atEnd() && m_text[m_pos] == ']') {
            ++m_pos;
            return value;
        }
        for (;;) {
            if (atEnd())
                throw std::invalid_argument("Unterminated array in JSON");
            value.arrayValue.push_back(parseValue());
            skipWhitespace();
            const int separator = takeByte();
            if (separator == ']')
                return value;
            if (separator != ',')
                failAt("Expected ',' or ']' in array at position ", m_pos);
        }
    }

    JsonValue parseNumber() {
        const std::size_t start = m_pos;
        if (m_text[m_pos] == '-')
            ++m_pos;
        if (!digitAtPos())
            failAt("Expected digit in number at position ", m_pos);
        skipDigits();
        bool integral = true;
        if (!atEnd() && m_text[m_pos] == '.') {
            integral = false;
            ++m_pos;
            if (!digitAtPos())
                failAt("Expected digit after decimal point at position ", m_pos);
            skipDigits();
        }
        if (!atEnd() && (m_text[m_pos] == 'e' || m_text[m_pos] == 'E')) {
            integral = false;
            ++m_pos;
            if (!atEnd() && (m_text[m_pos] == '+' || m_text[m_pos] == '-'))
                ++m_pos;
            if (!digitAtPos())
                failAt("Expected digit in exponent at position ", m_pos);
            skipDigits();
        }
        // from_chars ignores the process locale, so "2.5" never reads as 2 under a comma locale.
        const char* first = m_text.data() + start;
        const char* last = m_text.data() + m_pos;
        JsonValue value;
        value.kind = JsonValue::Number;
        if (integral) {
            const auto result = std::from_chars(first, last, value.intValue);
            if (result.ec != std::errc() || result.ptr != last)
                failAt("Number out of range in JSON at position ", start);
            value.doubleValue = static_cast<double>(value.intValue);
        } else {
            const auto result = std::from_chars(first, last, value.doubleValue);
            if (result.ec != std::errc() || result.ptr != last || !std::isfinite(value.doubleValue))
                failAt("Number out of range in JSON at position ", start);
            value.intValue = truncateToInt64(value.doubleValue);
        }
        return value;
    }

    // Toward zero, saturating: converting a double beyond the 64-bit range is undefined.
    static std::int64_t truncateToInt64(double d) {
        constexpr double limit = 9223372036854775808.0; // 2^63
        if (d >= limit)
            return std::numeric_limits<std::int64_t>::max();
        if (d < -limit)
            return std::numeric_limits<std::int64_t>::min();
        return static_cast<std::int64_t>(d);
    }

    void appendUnicodeEscape(std::string& out) {
        if (m_text.size() - m_pos < 4)
            throw std::invalid_argument("Truncated \\u unicode escape");
        unsigned unit = 0;
        for (int i = 0; i < 4; ++i) {
            const char c = m_text[m_pos++];
            unsigned digit = 0;
            if (c >= '0' && c <= '9')
                digit = unsigned(c - '0');
            else if (c >= 'a' && c <= 'f')
                digit = unsigned(c - 'a' + 10);
            else if (c >= 'A' && c <= 'F')
                digit = unsigned(c - 'A' + 10);
            else
                throw std::invalid_argument("Invalid hex in \\u unicode escape");
            unit = unit * 16 + digit;
        }
        // Each code unit on its own: surrogate halves are not paired.
        if (unit < 0x80) {
            out += char(unit);
        } else if (unit < 0x800) {
            out += char(0xC0 | (unit >> 6));
            out += char(0x80 | (unit & 0x3F));
        } else {
            out += char(0xE0 | (unit >> 12));
            out += char(0x80 | ((unit >> 6) & 0x3F));
            out += char(0x80 | (unit & 0x3F));
        }
    }

    const std::string& m_text;
    std::size_t m_pos = 0;
    std::size_t m_depth = 0;
};

bool isHexDigit(char c) {
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

// Numbers count only when the member is a JSON number; "5" as a string does not.
bool readInteger(const JsonValue& node, const std::string& key, std::int64_t& out) {
    const JsonValue* value = node.member(key);
    if (!value || value->kind != JsonValue::Number)
        return false;
    out = value->intValue;
    return true;
}

const JsonValue& selectApplication(const JsonValue& apps, const std::string& targetIdOrSlug) {
    const std::string target = TextUtil::trimmed(targetIdOrSlug);
    if (target.empty()) {
        if (apps.objectValue.size() != 1) {
            throw std::invalid_argument("Catalog contains " +
                                        std::to_string(apps.objectValue.size()) +
                                        " apps; targetIdOrSlug required for selection");
        }
        return apps.objectValue.begin()->second;
    }
    const std::string normalized = UpdateManifest::normalizeApplicationId(target);
    if (const JsonValue* exact = apps.member(target))
        return *exact;
    if (const JsonValue* byNormalized = apps.member(normalized))
        return *byNormalized;
    for (const auto& [key, entry] : apps.objectValue) {
        if (entry.kind != JsonValue::Object)
            continue;
        const std::string id = entry.getString("applicationId", std::string());
        if (entry.getString("slug", std::string()) == target || id == target ||
            UpdateManifest::normalizeApplicationId(id) == normalized)
            return entry;
    }
    throw std::invalid_argument("Application '" + target + "' not found in catalog");
}

} // namespace

UpdateManifest UpdateManifest::fromJson(const std::string& json, const std::string& manifestUrl,
                                        const std::string& targetIdOrSlug) {
    const JsonValue root = JsonParser(json).parseDocument();
    if (root.kind != JsonValue::Object)
        throw std::invalid_argument("Manifest JSON root must be an object");
    const std::string base = root.getString("baseUrl", manifestUrl);

    const JsonValue* node = &root;
    if (const JsonValue* apps = root.member("apps")) {
        if (apps->kind != JsonValue::Object)
            throw std::invalid_argument("'apps' in catalog must be an object");
        node = &selectApplication(*apps, targetIdOrSlug);
        if (node->kind != JsonValue::Object)
            throw std::invalid_argument("Selected application node must be an object");
    }
    const std::string none;

    UpdateManifest m;
    m.applicationId = node->getString("applicationId", none);
    if (m.applicationId.empty())
        throw std::invalid_argument("Manifest missing or empty applicationId");
    m.versionName = node->getString("versionName", none);
    if (m.versionName.empty())
        throw std::invalid_argument("Manifest missing or empty versionName");
    if (!readInteger(*node, "versionCode", m.versionCode) || m.versionCode <= 0)
        throw std::invalid_argument("Manifest versionCode must be greater than zero");

    // A blank URL counts as absent: resolved, it would name the catalog's own folder.
    std::string package = TextUtil::trimmed(node->getString("packageUrl", none));
    if (package.empty())
        package = TextUtil::trimmed(node->getString("downloadUrl", none));
    if (package.empty())
        package = TextUtil::trimmed(node->getString("apkUrl", none));
    if (package.empty())
        throw std::invalid_argument("Manifest missing packageUrl, downloadUrl, or apkUrl");
    m.packageUrl = resolveRelativeUrl(base, package);

    const std::string sha = TextUtil::trimmed(node->getString("sha256", none));
    if (sha.size() != 64)
        throw std::invalid_argument("Manifest sha256 checksum must be exactly 64 hex characters");
    for (const char c : sha) {
        if (!isHexDigit(c))
            throw std::invalid_argument(
                "Manifest sha256 checksum contains non-hexadecimal character");
    }
    m.sha256 = TextUtil::asciiLower(sha);

    readInteger(*node, "sizeBytes", m.sizeBytes);

    std::string mode = TextUtil::asciiLower(node->getString("installMode", none));
    if (mode.empty())
        mode = TextUtil::asciiLower(node->getString("installType", none));
    m.installMode = mode == "binary" || mode == "binarycopy" ? InstallMode::BinaryCopy
                                                             : InstallMode::SetupInstaller;

    m.installerArgs = node->getString("installerArgs", none);
    m.executableName = node->getString("executableName", none);
    const std::string arch = node->getString("arch", none);
    if (!arch.empty())
        m.arch = arch;
    const std::string minOs = node->getString("minOs", none);
    if (!minOs.empty())
        m.minOs = minOs;
    m.slug = node->getString("slug", none);
    m.title = node->getString("title", none);
    const std::string page = TextUtil::trimmed(node->getString("pageUrl", none));
    if (!page.empty())
        m.pageUrl = resolveRelativeUrl(base, page);
    m.publishedAt = node->getString("publishedAt", none);
    m.releaseNotes = node->getString("releaseNotes", none);
    return m;
}

} // namespace selfupdate
