#include "setup/setup_target.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <optional>
#include <string_view>

#include "replay/replay_layout.h"
#include "report.h"

namespace tarvix {
namespace {

// The check reads a file this much at a time, so that its memory stays the same whatever the
// file's size: a replay too large to load in a machine short of memory must still be seen. A
// multiple of 4, so that every piece starts on a word the marker search looks at.
constexpr std::size_t PIECE_SIZE = std::size_t{64} * 1024;

constexpr std::string_view REPLAY_EXTENSION = ".rpl";

bool endsInReplayExtension(std::string_view name)
{
    return name.size() >= REPLAY_EXTENSION.size() &&
           std::equal(REPLAY_EXTENSION.rbegin(), REPLAY_EXTENSION.rend(), name.rbegin(),
                      [](char wanted, char c) {
                          return std::tolower(static_cast<unsigned char>(c)) == wanted;
                      });
}

// Whether the open file of `size` bytes, read from its start piece by piece, holds an aligned
// marker that starts a setup block (its times and length field inside the file); the error
// that kept it from being read to its end. The summary counts the first marker alone, but a
// replay whose profile name holds "PTSC" is a replay all the same.
OrError<bool> holdsSetupBlock(std::FILE* file, std::size_t size)
{
    // In static storage: no allocation that could fail, and no 64 KiB stack frame, on which
    // MinGW-w64's GCC 12 fails to compile the unwind table.
    static std::array<std::uint8_t, PIECE_SIZE> piece;
    for (std::size_t offset = 0;; offset += PIECE_SIZE) {
        errno = 0;
        const std::size_t count = std::fread(piece.data(), 1, piece.size(), file);
        if (count < piece.size() && std::ferror(file) != 0) {
            return {.error = errno != 0 ? errno : EIO};
        }
        const ReplayImage read(piece.data(), count);
        for (std::size_t at = 0; at < count; at += sizeof SETUP_MARKER) {
            const auto marker = findSetupMarker(read.subspan(at), SETUP_MARKER);
            if (!marker) {
                break;
            }
            at += *marker;
            if (setupBlockInside(offset + at, size)) {
                return {.value = true};
            }
        }
        if (count < piece.size()) {
            return {.value = false};
        }
    }
}

bool isRegular(const FileInfo& info)
{
    return info.kind == FileKind::Regular;
}

// Whether both are one file, as far as the system tells.
bool sameFile(const FileInfo& one, const FileInfo& other)
{
    return one.id && one.id == other.id;
}

// What the file `info`, by the name `name`, is refused for without reading it.
std::optional<Refusal> refusalFor(std::string_view name, const FileInfo& info,
                                  const FileInfo& replay, const StandardStreams& streams)
{
    if (sameFile(info, replay)) {
        return Refusal{Refusal::TheReplay};
    }
    if (isRegular(info) && sameFile(info, streams.out)) {
        return Refusal{Refusal::StandardOutput};
    }
    if (isRegular(info) && sameFile(info, streams.err)) {
        return Refusal{Refusal::StandardError};
    }
    if (info.kind == FileKind::BlockDevice) {
        return Refusal{Refusal::CannotTell, ENOTSUP};
    }
    if (isRegular(info) && endsInReplayExtension(name)) {
        return Refusal{Refusal::AReplay};
    }
    return std::nullopt;
}

// What the open regular file `file` is refused for, by the name the system tells and by what
// it holds. A size the loader refuses is no replay, whatever the file holds, and is not read.
std::optional<Refusal> refusalForWhatItHolds(std::FILE* file, const FileInfo& info)
{
    const OrError<std::string> name = nameOf(file);
    if (name.error != 0) {
        return Refusal{Refusal::CannotTell, name.error};
    }
    if (endsInReplayExtension(name.value)) {
        return Refusal{Refusal::AReplay};
    }
    if (info.size < MIN_REPLAY_SIZE || info.size > MAX_REPLAY_SIZE) {
        return std::nullopt;
    }
    const OrError<bool> block = holdsSetupBlock(file, info.size);
    if (block.error != 0) {
        return Refusal{Refusal::CannotTell, block.error};
    }
    return block.value ? std::optional(Refusal{Refusal::AReplay}) : std::nullopt;
}

bool opensWhenReady(const FileInfo& info)
{
    return info.kind == FileKind::Fifo || info.kind == FileKind::CharacterDevice;
}

}  // namespace

StandardStreams describeStandardStreams()
{
    return {.out = describe(stdout).value, .err = describe(stderr).value};
}

StreamsOfTheReplay streamsOfTheReplay(const FileInfo& replay, const StandardStreams& streams)
{
    // A block device may show the replay's bytes, and a replay read from one may be any file
    // behind it, which Tarvix cannot tell: such a stream counts as the replay.
    const auto writesIntoReplay = [&replay](const FileInfo& stream) {
        return sameFile(stream, replay) || stream.kind == FileKind::BlockDevice ||
               (replay.kind == FileKind::BlockDevice && isRegular(stream));
    };
    return {.out = writesIntoReplay(streams.out), .err = writesIntoReplay(streams.err)};
}

void reportStreamsOfTheReplay(const char* replayPath, StreamsOfTheReplay streams)
{
    if (streams.out && !streams.err) {
        reportError("Error writing standard output: %s is the replay file\n", replayPath);
    } else if (streams.err && !streams.out) {
        report(stdout, "Error writing standard error: %s is the replay file\n", replayPath);
    }
}

std::variant<Refusal, SetupTarget> judgeSetupTarget(const char* setupPath, const FileInfo& replay,
                                                    const StandardStreams& streams)
{
    const OrError<FileInfo> named = describe(setupPath);
    if (named.error == 0 && named.value.kind == FileKind::Directory) {
        return OpenFailed{EISDIR};
    }
    if (named.error == 0 && opensWhenReady(named.value)) {
        const auto refusal = refusalFor(setupPath, named.value, replay, streams);
        return refusal ? std::variant<Refusal, SetupTarget>(*refusal) : OpenWhenReady{named.value};
    }
    OrError<File> opened = openFile(setupPath, Access::ReadWrite);
    if (opened.error == ENOENT) {
        return CreateNew{};
    }
    // What may be read but not written is judged all the same: the export reports its open
    // error only for what is no replay.
    const int writeError = opened.error;
    if (writeError != 0) {
        opened = openFile(setupPath, Access::Read);
    }
    if (opened.error != 0) {  // but a *.rpl that is there is a replay by its name alone
        const bool replayName =
            named.error == 0 && isRegular(named.value) && endsInReplayExtension(setupPath);
        return replayName ? Refusal{Refusal::AReplay} : Refusal{Refusal::CannotTell, opened.error};
    }
    const OrError<FileInfo> info = describe(opened.value.get());
    if (info.error != 0) {
        return Refusal{Refusal::CannotTell, info.error};
    }
    std::optional<Refusal> refusal = refusalFor(setupPath, info.value, replay, streams);
    if (!refusal && isRegular(info.value)) {
        refusal = refusalForWhatItHolds(opened.value.get(), info.value);
    }
    if (refusal) {
        return *refusal;
    }
    // A device that opens for writing alone (CON does) is opened again when the setup is ready.
    // A FIFO the check opened after all (Wine tells none by its name) keeps the open it has.
    if (writeError != 0 && opensWhenReady(info.value)) {
        return OpenWhenReady{info.value};
    }
    if (writeError != 0) {
        return OpenFailed{writeError};
    }
    return WriteInPlace{.file = std::move(opened.value), .regular = isRegular(info.value)};
}

void reportRefusal(const char* setupPath, const Refusal& refusal)
{
    switch (refusal.reason) {
        case Refusal::TheReplay:
            reportError("Setup not written: %s is the replay file\n", setupPath);
            break;
        case Refusal::StandardOutput:
            reportError("Setup not written: %s is the standard output\n", setupPath);
            break;
        case Refusal::StandardError:
            reportError("Setup not written: %s is the standard error\n", setupPath);
            break;
        case Refusal::AReplay:
            reportError("Setup not written: %s is a replay file\n", setupPath);
            break;
        case Refusal::CannotTell:
            reportError("Setup not written: cannot tell whether %s is a replay: %s\n", setupPath,
                        std::strerror(refusal.error));
            break;
    }
}

File openSetupFileOrReport(const char* setupPath, SetupTarget target)
{
    OrError<File> opened;
    if (auto* inPlace = std::get_if<WriteInPlace>(&target)) {
        std::rewind(inPlace->file.get());  // where the check read it
        opened.error = inPlace->regular ? emptyFile(inPlace->file.get()) : 0;
        opened.value = std::move(inPlace->file);
    } else if (std::holds_alternative<CreateNew>(target)) {
        opened = openFile(setupPath, Access::Create);
    } else if (auto* ready = std::get_if<OpenWhenReady>(&target)) {
        opened = openFile(setupPath, Access::Write);
        const FileInfo info = opened.value ? describe(opened.value.get()).value : FileInfo{};
        if (opened.value && (info.kind != ready->judged.kind || info.id != ready->judged.id)) {
            reportRefusal(setupPath, {Refusal::CannotTell, FILE_CHANGED});
            return nullptr;
        }
    } else {
        opened.error = std::get<OpenFailed>(target).error;
    }
    if (opened.error != 0) {
        reportError("Could not open file %s: %s\n", setupPath, std::strerror(opened.error));
        return nullptr;
    }
    return std::move(opened.value);
}

}  // namespace tarvix
