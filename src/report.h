// Messages on standard error, and the state of standard output: what every module of Tarvix
// reports through.
#pragma once

namespace tarvix {

// One formatted message on standard error. Standard output is flushed first so that, when both
// streams go to one place, the message stands after the lines printed before it. A C variadic
// rather than a parameter pack, so that the compiler checks each format against its arguments.
// NOLINTNEXTLINE(cert-dcl50-cpp)
[[gnu::format(printf, 1, 2)]] void reportError(const char* format, ...);

// Flushes standard output and returns the first error that writing it met during the run, or 0.
int standardOutputError();

}  // namespace tarvix
