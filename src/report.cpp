#include "report.h"

#include <cerrno>
#include <cstdarg>

#include "system.h"

namespace tarvix {
namespace {

// The C library drops its buffer after a failed write, so the first error is kept from the
// flush that saw it.
int firstOutputError = 0;

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

int flushStandardOutput()
{
    errno = 0;  // not every C library sets it when a flush fails
    if (std::fflush(stdout) != 0 && firstOutputError == 0) {
        firstOutputError = errno != 0 ? errno : EIO;
    }
    if (firstOutputError == 0 && std::ferror(stdout) != 0) {
        firstOutputError = EIO;  // a write failed while the stream flushed; its errno is gone
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
    flushStandardOutput();
    std::va_list args;
    va_start(args, format);
    reportTo(stderr, format, args);
    va_end(args);
}

}  // namespace tarvix
