#include "terminal.h"

namespace tarvix {
namespace {

constexpr char32_t FIRST_AFTER_C1 = 0xA0;

// The length of the well-formed UTF-8 sequence that `text` starts with, and its character; 0
// for none. Well-formed as UTF-8 defines it: no overlong form, no surrogate, nothing past
// U+10FFFF.
std::size_t utf8Sequence(std::string_view text, char32_t& character)
{
    const auto byte = [text](std::size_t i) { return static_cast<unsigned char>(text[i]); };
    std::size_t length = 0;
    char32_t least = 0;
    if (byte(0) >= 0xC2 && byte(0) <= 0xDF) {
        length = 2, least = 0x80, character = byte(0) & 0x1FU;
    } else if (byte(0) >= 0xE0 && byte(0) <= 0xEF) {
        length = 3, least = 0x800, character = byte(0) & 0x0FU;
    } else if (byte(0) >= 0xF0 && byte(0) <= 0xF4) {
        length = 4, least = 0x10000, character = byte(0) & 0x07U;
    } else {
        return 0;
    }
    if (text.size() < length) {
        return 0;
    }
    for (std::size_t i = 1; i < length; ++i) {
        if ((byte(i) & 0xC0U) != 0x80) {
            return 0;
        }
        character = character << 6 | (byte(i) & 0x3FU);
    }
    const bool surrogate = character >= 0xD800 && character <= 0xDFFF;
    return character >= least && character <= 0x10FFFF && !surrogate ? length : 0;
}

constexpr bool isControl(char32_t character)
{
    return character < 0x20 || (character >= 0x7F && character < FIRST_AFTER_C1);
}

void appendUtf16(std::u16string& text, char32_t character)
{
    if (character < 0x10000) {
        text.push_back(static_cast<char16_t>(character));
    } else {
        character -= 0x10000;
        text.push_back(static_cast<char16_t>(0xD800 + (character >> 10)));
        text.push_back(static_cast<char16_t>(0xDC00 + (character & 0x3FFU)));
    }
}

}  // namespace

std::string maskControls(std::string_view text)
{
    std::string shown;
    shown.reserve(text.size());
    for (std::size_t i = 0; i < text.size();) {
        char32_t character = 0;
        if (const std::size_t length = utf8Sequence(text.substr(i), character)) {
            shown.append(isControl(character) ? "?" : text.substr(i, length));
            i += length;
        } else {
            const auto byte = static_cast<unsigned char>(text[i++]);
            shown.push_back(isControl(byte) ? '?' : static_cast<char>(byte));
        }
    }
    return shown;
}

std::u16string consoleText(std::string_view text, bool line,
                           std::u16string (*fromAnsiCodePage)(std::string_view))
{
    const bool ends = line && text.ends_with('\n');
    const std::string_view body = text.substr(0, text.size() - (ends ? 1 : 0));
    std::u16string shown;
    for (std::size_t i = 0; i < body.size();) {
        char32_t character = static_cast<unsigned char>(body[i]);
        const std::size_t length = character < 0x80 ? 1 : utf8Sequence(body.substr(i), character);
        if (length == 0) {
            shown = fromAnsiCodePage(body);
            break;
        }
        appendUtf16(shown, character);
        i += length;
    }
    for (char16_t& unit : shown) {
        unit = isControl(unit) ? u'?' : unit;
    }
    return ends ? shown + u"\r\n" : shown;
}

}  // namespace tarvix
