// How text from outside is shown on a terminal: the profile and file names in messages, and a
// setup written to one, could otherwise clear the screen, move the cursor, retitle the window or
// fake a line.
#pragma once

#include <string>
#include <string_view>

namespace tarvix {

// `text` with each control character shown as '?': C0 and DEL, and the C1 controls, whether a
// lone byte 0x80 to 0x9F or written in UTF-8 (C2 80 to C2 9F, one '?'), since terminals that
// honour C1 take 0x9B for the start of an escape sequence. Every other UTF-8 character stays
// whole, and so do bytes from 0xA0 up that are not UTF-8 (names in a Windows code page).
std::string maskControls(std::string_view text);

// What a console that takes characters (Windows') is given for `text`, in UTF-16: `text` read
// as UTF-8 where it is well-formed UTF-8, and otherwise by `fromAnsiCodePage` (a profile name
// stored by a game running in the system's ANSI code page); each control character, C0, DEL
// and C1, as '?', but for a closing newline where `line`, which ends the line as CR LF.
std::u16string consoleText(std::string_view text, bool line,
                           std::u16string (*fromAnsiCodePage)(std::string_view));

}  // namespace tarvix
