#include "report.h"

#include <cerrno>
#include <cstdarg>

#include "system.h"

namespace tarvix {
namespace {

// The C library drops its buffer after a failed write, so the first error is kept from the
// flush that saw it.
int firstOutputError = 0;

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

void reportTo(std::FILE* stream, const char* format, std::va_list args)
{
    std::va_list measured;
    va_copy(measured, args);
    const int size = std::vsnprintf(nullptr, 0, format, measured);
    va_end(measured);
    if (size < 0) {
        return;
    }
    std::string text(static_cast<std::size_t>(size) + 1, '\0');
    std::vsnprintf(text.data(), text.size(), format, args);
    text.pop_back();
    writeShown(stream, text, true);
}

}  // namespace

std::string maskControls(std::string_view text)
{
    std::string shown;
    shown.reserve(text.size());
    for (std::size_t i = 0; i < text.size();) {
        char32_t character = 0;
        if (const std::size_t length = utf8Sequence(text.substr(i), character)) {
            shown.append(character < FIRST_AFTER_C1 ? "?" : text.substr(i, length));
            i += length;
        } else {
            const auto byte = static_cast<unsigned char>(text[i++]);
            const bool control = byte < 0x20 || (byte >= 0x7F && byte < FIRST_AFTER_C1);
            shown.push_back(control ? '?' : static_cast<char>(byte));
        }
    }
    return shown;
}

std::size_t writeShown(std::FILE* stream, std::string_view text, bool line)
{
    if (!isTerminal(stream)) {
        return std::fwrite(text.data(), 1, text.size(), stream);
    }
    const bool ends = line && text.ends_with('\n');
    const std::string shown =
        maskControls(text.substr(0, text.size() - (ends ? 1 : 0))) + (ends ? "\n" : "");
    return std::fwrite(shown.data(), 1, shown.size(), stream) == shown.size() ? text.size() : 0;
}

int standardOutputError()
{
    errno = 0;  // not every C library sets it when a flush fails
    if (std::fflush(stdout) != 0 && firstOutputError == 0) {
        firstOutputError = errno != 0 ? errno : EIO;
    }
    if (firstOutputError == 0 && std::ferror(stdout) != 0) {
        firstOutputError = EIO;  // a write failed inside printf; its errno is gone
    }
    return firstOutputError;
}

// NOLINTNEXTLINE(cert-dcl50-cpp)
void report(std::FILE* stream, const char* format, ...)
{
    std::va_list args;
    va_start(args, format);
    reportTo(stream, format, args);
    va_end(args);
}

// NOLINTNEXTLINE(cert-dcl50-cpp)
void reportError(const char* format, ...)
{
    standardOutputError();
    std::va_list args;
    va_start(args, format);
    reportTo(stderr, format, args);
    va_end(args);
}

}  // namespace tarvix
