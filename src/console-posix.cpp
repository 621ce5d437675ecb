// Text on a POSIX terminal: the bytes, with each control character masked (terminal.h).
#include <unistd.h>

#include "system.h"
#include "terminal.h"

namespace tarvix {

std::size_t writeShown(std::FILE* stream, std::string_view text, bool line)
{
    if (isatty(fileno(stream)) == 0) {
        return std::fwrite(text.data(), 1, text.size(), stream);
    }
    const bool ends = line && text.ends_with('\n');
    const std::string shown =
        maskControls(text.substr(0, text.size() - (ends ? 1 : 0))) + (ends ? "\n" : "");
    return std::fwrite(shown.data(), 1, shown.size(), stream) == shown.size() ? text.size() : 0;
}

}  // namespace tarvix
