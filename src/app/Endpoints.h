#pragma once

#include <QString>

namespace Tessaryn {

// Addresses of the outside services, a matter of deployment rather than code.
class Endpoints {
public:
    static QString defaultGeminiBaseUrl(); // "https://generativelanguage.googleapis.com"

    // TESSARYN_GEMINI_BASE_URL when it holds an http(s) address with a host, else the default;
    // never ends with a slash.
    static QString geminiBaseUrl();
};

} // namespace Tessaryn
