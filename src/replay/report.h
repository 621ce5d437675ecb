// Failure messages, and the state of standard output.
#pragma once

#include <cerrno>
#include <cstdarg>
#include <cstdio>

namespace tarvix {

// Flushes standard output and returns the first error it met during the run, or 0. The C
// library drops the buffer after a failed write, so the error is kept from the first flush
// that saw it. errno is left as it was: callers may be about to report it.
inline int flushStandardOutput()
{
    static int firstError = 0;
    const int savedErrno = errno;
    errno = 0;
    if (std::fflush(stdout) != 0 && firstError == 0) {
        firstError = errno != 0 ? errno : EIO;
    }
    if (firstError == 0 && std::ferror(stdout) != 0) {
        firstError = EIO;  // a write failed inside printf; its errno is gone
    }
    errno = savedErrno;
    return firstError;
}

// One formatted message on standard error. Standard output is flushed first so that, when both
// streams go to one place, the message stands after the lines printed before it. A C variadic
// rather than a parameter pack, so that the compiler checks each format against its arguments.
// NOLINTNEXTLINE(cert-dcl50-cpp)
[[gnu::format(printf, 1, 2)]] inline void reportError(const char* format, ...)
{
    flushStandardOutput();
    va_list args;
    va_start(args, format);
    std::vfprintf(stderr, format, args);
    va_end(args);
}

}  // namespace tarvix
