#include "Text.h"

#include <cctype>
#include <cstdlib>

#include <cmath>

#include <fmt/format.h>

namespace sim {
namespace {

const char* const Replacement = "\xEF\xBF\xBD";

// The length of the valid UTF-8 sequence at text[i], or 0 when none starts there. Overlong
// forms, surrogates and code points past U+10FFFF are not valid.
std::size_t Sequence_At(const std::string& text, std::size_t i, unsigned int& code)
{
    const auto byte = [&](std::size_t k) { return static_cast<unsigned char>(text[k]); };
    const unsigned char lead = byte(i);
    if (lead < 0x80) {
        code = lead;
        return 1;
    }
    std::size_t length = 0;
    unsigned int least = 0;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2, code = lead & 0x1Fu, least = 0x80;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3, code = lead & 0x0Fu, least = 0x800;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4, code = lead & 0x07u, least = 0x10000;
    } else {
        return 0;
    }
    if (i + length > text.size()) {
        return 0;
    }
    for (std::size_t k = 1; k < length; ++k) {
        if ((byte(i + k) & 0xC0u) != 0x80u) {
            return 0;
        }
        code = (code << 6) | (byte(i + k) & 0x3Fu);
    }
    if (code < least || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) {
        return 0;
    }
    return length;
}

// Characters that show nothing yet change what is shown: marks that reorder the text around them
// (a right-to-left override makes "gpj.exe" read "exe.jpg"), spaces and joiners of no width, the
// byte-order mark, and separators that break a line where none is seen.
bool Is_Invisible(unsigned int code)
{
    return code == 0x00AD || code == 0x061C || code == 0x180E || (code >= 0x200B && code <= 0x200F) ||
           (code >= 0x2028 && code <= 0x202E) || (code >= 0x2060 && code <= 0x206F) || code == 0xFEFF ||
           (code >= 0xFFF9 && code <= 0xFFFB);
}

}  // namespace

std::string Printable(const std::string& text)
{
    std::string out;
    for (std::size_t i = 0; i < text.size();) {
        unsigned int code = 0;
        const std::size_t n = Sequence_At(text, i, code);
        if (n == 0 || code < 0x20 || code == 0x7F || (code >= 0x80 && code < 0xA0)) {
            // A control character is escaped byte by byte, like an invalid one.
            const std::size_t bytes = n == 0 ? 1 : n;
            for (std::size_t k = 0; k < bytes; ++k) {
                out += fmt::format("\\x{:02x}", static_cast<unsigned char>(text[i + k]));
            }
            i += bytes;
            continue;
        }
        if (code == '\\') {
            out += "\\\\";
        } else if (Is_Invisible(code)) {
            out += fmt::format("\\u{:04x}", code);
        } else {
            out.append(text, i, n);
        }
        i += n;
    }
    return out;
}

std::string Xml_Text(const std::string& text)
{
    std::string out;
    for (std::size_t i = 0; i < text.size();) {
        unsigned int code = 0;
        const std::size_t n = Sequence_At(text, i, code);
        if (n == 0) {
            out += Replacement;
            ++i;
            continue;
        }
        switch (code) {
        case '&': out += "&amp;"; break;
        case '<': out += "&lt;"; break;
        case '>': out += "&gt;"; break;
        case '"': out += "&quot;"; break;
        case '\'': out += "&apos;"; break;
        default:
            if (code < 0x20 && code != '\t' && code != '\n' && code != '\r') {
                out += Replacement;
            } else if (Is_Invisible(code)) {
                out += fmt::format("\\u{:04x}", code);
            } else {
                out.append(text, i, n);
            }
        }
        i += n;
    }
    return out;
}

std::string File_Name(const std::string& path) { return path.substr(path.rfind('/') + 1); }

std::string Wrapped(const std::string& text, std::size_t width, const std::string& indent)
{
    std::string out;
    // The first line keeps the text's own leading blanks.
    std::size_t start = std::min(text.find_first_not_of(' '), text.size());
    const std::string lead = text.substr(0, start);
    std::string line = lead;
    while (start < text.size()) {
        std::size_t end = text.find(' ', start);
        if (end == std::string::npos) {
            end = text.size();
        }
        const std::string word = text.substr(start, end - start);
        const bool fresh = line == lead || line == indent;
        if (!fresh && line.size() + 1 + word.size() > width) {
            out += line + "\n";
            line = indent;
        } else if (!fresh) {
            line += ' ';
        }
        line += word;
        start = end + 1;
    }
    return out + line + "\n";
}

bool Is_Decimal(const std::string& text)
{
    std::size_t i = text.size() > 0 && (text[0] == '+' || text[0] == '-') ? 1 : 0;
    std::size_t digits = 0;
    for (; i < text.size() && std::isdigit(static_cast<unsigned char>(text[i])); ++i, ++digits) {
    }
    if (i < text.size() && text[i] == '.') {
        for (++i; i < text.size() && std::isdigit(static_cast<unsigned char>(text[i])); ++i, ++digits) {
        }
    }
    if (digits == 0) {
        return false;
    }
    if (i < text.size() && (text[i] == 'e' || text[i] == 'E')) {
        ++i;
        i += i < text.size() && (text[i] == '+' || text[i] == '-') ? 1 : 0;
        const std::size_t first = i;
        for (; i < text.size() && std::isdigit(static_cast<unsigned char>(text[i])); ++i) {
        }
        if (i == first) {
            return false;
        }
    }
    return i == text.size();
}

bool Parse_Finite(const std::string& text, double& value)
{
    if (!Is_Decimal(text)) {
        return false;
    }
    // Too small a number to hold (1e-320) is still a number, and strtod gives its nearest value
    // (with ERANGE); only one too large to hold is refused.
    char* end = nullptr;
    value = std::strtod(text.c_str(), &end);
    return *end == '\0' && std::isfinite(value);
}

}  // namespace sim
