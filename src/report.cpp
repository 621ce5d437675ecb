#include "report.h"

#include <cerrno>
#include <cstdarg>
#include <cstdio>

namespace tarvix {
namespace {

// The C library drops its buffer after a failed write, so the first error is kept from the
// flush that saw it.
int firstOutputError = 0;

}  // namespace

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
void reportError(const char* format, ...)
{
    standardOutputError();
    va_list args;
    va_start(args, format);
    std::vfprintf(stderr, format, args);
    va_end(args);
}

}  // namespace tarvix
