#pragma once

#include <string>

namespace selfupdate {

// String helpers shared by the update library. Locale-independent on purpose: the application
// sets a locale, and catalog text, headers and paths must read the same under any of them.
class TextUtil {
public:
    static bool isBlank(char c);
    // Without leading and trailing blanks (space, tab, line feed, vertical tab, form feed, CR).
    static std::string trimmed(const std::string& text);
    // ASCII letters lowered; every other byte kept.
    static std::string asciiLower(std::string text);

#ifdef _WIN32
    // UTF-8 to UTF-16 and back, for the Windows calls.
    static std::wstring widen(const std::string& utf8);
    static std::string narrow(const std::wstring& wide);
#endif
};

} // namespace selfupdate
