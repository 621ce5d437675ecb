// Messages on standard output and standard error, and the state of standard output: what every
// module of Tarvix reports through.
#pragma once

#include <cstdio>

namespace tarvix {

// One formatted message on `stream`, standard output or standard error, written at once, as
// writeShown shows it (system.h): on a terminal with each control character but the closing
// newline as '?', as ls shows names; pipes and files get the bytes unchanged, for the scripts
// that read them. C variadics rather than a parameter pack, so that the compiler checks each
// format.
// NOLINTNEXTLINE(cert-dcl50-cpp)
[[gnu::format(printf, 2, 3)]] void report(std::FILE* stream, const char* format, ...);

// report() on standard error. Standard output is flushed first so that, when both streams go to
// one place, the message stands after the lines printed before it.
// NOLINTNEXTLINE(cert-dcl50-cpp)
[[gnu::format(printf, 1, 2)]] void reportError(const char* format, ...);

// Flushes standard output; the first error that writing it met during the run, or 0.
int flushStandardOutput();

}  // namespace tarvix
