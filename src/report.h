// Messages on standard output and standard error, and the state of standard output: what every
// module of Tarvix reports through.
#pragma once

#include <cstdio>
#include <string>
#include <string_view>

namespace tarvix {

// One formatted message on `stream`, standard output or standard error, written at once. Where
// the stream is a terminal, each control character in it but the closing newline shows as '?'
// (maskControls), as ls shows names: the profile and file names in messages come from outside,
// and on a terminal one of them could clear the screen, move the cursor, retitle the window or
// fake a line. Pipes and files get the bytes unchanged, for the scripts that read them. C
// variadics rather than a parameter pack, so that the compiler checks each format.
// NOLINTNEXTLINE(cert-dcl50-cpp)
[[gnu::format(printf, 2, 3)]] void report(std::FILE* stream, const char* format, ...);

// report() on standard error. Standard output is flushed first so that, when both streams go to
// one place, the message stands after the lines printed before it.
// NOLINTNEXTLINE(cert-dcl50-cpp)
[[gnu::format(printf, 1, 2)]] void reportError(const char* format, ...);

// `text` with each control character shown as '?': C0 and DEL, and the C1 controls, whether a
// lone byte 0x80 to 0x9F or written in UTF-8 (C2 80 to C2 9F, one '?'), since terminals that
// honour C1 take 0x9B for the start of an escape sequence. Every other UTF-8 character stays
// whole, and so do bytes from 0xA0 up that are not UTF-8 (names in a Windows code page).
std::string maskControls(std::string_view text);

// Writes `text` to `stream`: as it is, or where the stream is a terminal with each control
// character shown as '?', but for a closing newline where `line` says it ends a line. The count
// of the bytes of `text` written.
std::size_t writeShown(std::FILE* stream, std::string_view text, bool line);

// Flushes standard output and returns the first error that writing it met during the run, or 0.
int standardOutputError();

}  // namespace tarvix
