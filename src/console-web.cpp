// Text on the web page that runs Tarvix: standard output and standard error are shown as a
// Windows console shows them (terminal.h), the profile name in Windows-1252, the code page the
// game stores names in, where it is not UTF-8; the page gets that text as UTF-8. Files get the
// bytes unchanged.
#include <unistd.h>

#include "system.h"
#include "terminal.h"

namespace tarvix {
namespace {

// Windows-1252 from 0x80 to 0x9F, where it differs from Latin-1. The five bytes it leaves
// undefined stay C1 controls, as Windows reads them, and so are shown as '?'.
constexpr std::u16string_view WINDOWS_1252_C1 =
    u"\u20AC\u0081\u201A\u0192\u201E\u2026\u2020\u2021\u02C6\u2030\u0160\u2039\u0152\u008D\u017D"
    u"\u008F\u0090\u2018\u2019\u201C\u201D\u2022\u2013\u2014\u02DC\u2122\u0161\u203A\u0153\u009D"
    u"\u017E\u0178";

std::u16string fromWindows1252(std::string_view bytes)
{
    std::u16string text;
    for (const char byte : bytes) {
        const auto code = static_cast<unsigned char>(byte);
        const bool c1 = code >= 0x80 && code - 0x80U < WINDOWS_1252_C1.size();
        text.push_back(c1 ? WINDOWS_1252_C1[code - 0x80U] : char16_t{code});
    }
    return text;
}

std::string toUtf8(std::u16string_view text)
{
    std::string bytes;
    for (std::size_t i = 0; i < text.size(); ++i) {
        char32_t c = text[i];
        if (c >= 0xD800 && c < 0xDC00 && i + 1 < text.size()) {  // consoleText pairs them
            c = 0x10000 + ((c - 0xD800) << 10) + (text[++i] - 0xDC00);
        }
        const int tail = c < 0x80 ? 0 : c < 0x800 ? 1 : c < 0x10000 ? 2 : 3;
        constexpr unsigned char LEAD[] = {0x00, 0xC0, 0xE0, 0xF0};
        bytes.push_back(static_cast<char>(LEAD[tail] | (c >> (6 * tail))));
        for (int shift = 6 * (tail - 1); shift >= 0; shift -= 6) {
            bytes.push_back(static_cast<char>(0x80 | ((c >> shift) & 0x3F)));
        }
    }
    return bytes;
}

}  // namespace

std::size_t writeShown(std::FILE* stream, std::string_view text, bool line)
{
    if (isatty(fileno(stream)) == 0) {
        return std::fwrite(text.data(), 1, text.size(), stream);
    }
    const bool ends = line && text.ends_with('\n');
    const std::string shown =
        toUtf8(consoleText(text.substr(0, text.size() - (ends ? 1 : 0)), false, fromWindows1252)) +
        (ends ? "\n" : "");
    return std::fwrite(shown.data(), 1, shown.size(), stream) == shown.size() ? text.size() : 0;
}

// For the page's headings, which the build exports: a file's name as the program shows text.
extern "C" const char* shownText(const char* text);
extern "C" const char* shownText(const char* text)
{
    static std::string shown;
    shown = toUtf8(consoleText(text, false, fromWindows1252));
    return shown.c_str();
}

}  // namespace tarvix
