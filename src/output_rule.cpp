#include "output_rule.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <cerrno>
#include <cstring>
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

OutputFile describeOutput(std::FILE* file, const OrError<FileInfo>& info)
{
    OutputFile output{.info = info.value};
    if (isRegular(output.info) || output.info.kind == FileKind::BlockDevice) {
        output.name = nameOf(file);
    }
    return output;
}

bool opensWhenReady(const FileInfo& info)
{
    return info.kind == FileKind::Fifo || info.kind == FileKind::CharacterDevice;
}

std::optional<Refusal> refusalAs(Refusal::Reason reason, int error = 0)
{
    return Refusal{reason, error};
}

// The standard stream that writes into `info`: a regular file, or the null device that holds a
// stream its caller closed.
std::optional<Stream> streamWriting(const FileInfo& info, const StandardStreams& streams)
{
    const std::pair<const OutputFile*, Stream> all[] = {{&streams.in, Stream::Input},
                                                        {&streams.out, Stream::Output},
                                                        {&streams.err, Stream::Error}};
    for (const auto& [stream, which] : all) {
        if ((stream->closedStream || (isRegular(info) && which != Stream::Input)) &&
            sameFile(info, stream->info)) {
            return which;
        }
    }
    return std::nullopt;
}

// What the regular file `file`, opened to be judged as the setup file, is refused for by the
// name the system tells, if none, and by its size and what it holds.
std::optional<Refusal> refusalForWhatItHolds(const OutputFile& file, const SetupCandidate& setup)
{
    if (file.name.error != 0) {
        return refusalAs(Refusal::CannotTell, file.name.error);
    }
    // A file of a size the loader refuses is no replay, but one past it may hold replays (a disk
    // image) in more than is read here.
    if (file.info.size > MAX_REPLAY_SIZE) {
        return refusalAs(Refusal::CannotTell, EFBIG);
    }
    if (file.info.size < MIN_REPLAY_SIZE) {
        return std::nullopt;
    }
    const OrError<bool> block = holdsSetupBlock(setup.opened, file.info.size);
    if (block.error != 0) {
        return refusalAs(Refusal::CannotTell, block.error);
    }
    return block.value ? refusalAs(Refusal::OtherReplay) : std::nullopt;
}

}  // namespace

StandardStreams describeStandardStreams(std::array<bool, 3> closed)
{
    StandardStreams streams{.in = {.info = describe(stdin).value},
                            .out = describeOutput(stdout, describe(stdout)),
                            .err = describeOutput(stderr, describe(stderr))};
    streams.in.closedStream = closed[0];
    streams.out.closedStream = closed[1];
    streams.err.closedStream = closed[2];
    return streams;
}

std::optional<Refusal> refusalToWrite(const OutputFile& file, const Judging& judging,
                                      const SetupCandidate* setup)
{
    const FileInfo& info = file.info;
    const bool replaces = setup != nullptr;
    const bool blockDevice = info.kind == FileKind::BlockDevice;
    if (sameFile(info, judging.replay) || (!replaces && blockDevice) ||
        (judging.replay.kind == FileKind::BlockDevice && isRegular(info))) {
        return refusalAs(Refusal::ReplayBeingRead);
    }
    if (replaces && isRegular(info) && endsInReplayExtension(setup->path)) {
        return refusalAs(Refusal::OtherReplay);
    }
    if (replaces && (setup->openError != 0 || blockDevice)) {
        return refusalAs(Refusal::CannotTell, blockDevice ? ENOTSUP : setup->openError);
    }
    if (const std::optional<Stream> stream =
            replaces ? streamWriting(info, judging.streams) : std::nullopt) {
        return Refusal{Refusal::WrittenByAStream, 0, *stream};
    }
    if (isRegular(info) && file.name.error == 0 && endsInReplayExtension(file.name.value)) {
        return refusalAs(Refusal::OtherReplay);
    }
    return replaces && isRegular(info) ? refusalForWhatItHolds(file, *setup) : std::nullopt;
}

void reportStreamRefusals(const char* replayPath, const StandardStreams& streams,
                          const std::optional<Refusal>& out, const std::optional<Refusal>& err)
{
    // The replay as named, or else the file as the system tells it: a usage line into a block
    // device has no replay to name.
    const auto say = [replayPath](std::FILE* on, const char* stream, const OutputFile& file,
                                  const Refusal& refusal) {
        const bool replay = refusal.reason == Refusal::ReplayBeingRead;
        const std::string name = replay && replayPath != nullptr ? replayPath
                                 : file.name.error == 0          ? file.name.value
                                                                 : "/dev/std" + std::string(stream);
        report(on, "Error writing standard %s: %s is %s replay file\n", stream, name.c_str(),
               replay ? "the" : "a");
    };
    if (out && !err) {
        say(stderr, "output", streams.out, *out);
    } else if (err && !out) {
        say(stdout, "error", streams.err, *err);
    }
}

std::variant<Refusal, SetupTarget> judgeSetupFile(const char* setupPath, const Judging& judging)
{
    const OrError<FileInfo> named = describe(setupPath);
    if (named.error == 0 && named.value.kind == FileKind::Directory) {
        return OpenFailed{EISDIR};
    }
    if (named.error == 0 && opensWhenReady(named.value)) {
        const SetupCandidate candidate{setupPath, nullptr, 0};
        const auto refusal = refusalToWrite({.info = named.value}, judging, &candidate);
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
    if (opened.error != 0) {
        const SetupCandidate candidate{setupPath, nullptr, opened.error};
        return refusalToWrite({.info = named.value}, judging, &candidate)
            .value_or(Refusal{Refusal::CannotTell, opened.error});
    }
    const OrError<FileInfo> info = describe(opened.value.get());
    if (info.error != 0) {
        return Refusal{Refusal::CannotTell, info.error};
    }
    const SetupCandidate candidate{setupPath, opened.value.get(), 0};
    if (const auto refusal =
            refusalToWrite(describeOutput(opened.value.get(), info), judging, &candidate)) {
        return *refusal;
    }
    if (writeError == 0) {
        return WriteInPlace{.file = std::move(opened.value), .regular = isRegular(info.value)};
    }
    // A device that opens for writing alone (CON does) is opened again when the setup is ready.
    // A FIFO the check opened after all (Wine tells none by its name) keeps the open it has.
    return opensWhenReady(info.value) ? SetupTarget(OpenWhenReady{info.value})
                                      : SetupTarget(OpenFailed{writeError});
}

void reportRefusal(const char* setupPath, const Refusal& refusal)
{
    constexpr const char* STREAMS[] = {"input", "output", "error"};
    switch (refusal.reason) {
        case Refusal::ReplayBeingRead:
            reportError("Setup not written: %s is the replay file\n", setupPath);
            break;
        case Refusal::WrittenByAStream:
            reportError("Setup not written: %s is the standard %s\n", setupPath,
                        STREAMS[static_cast<int>(refusal.stream)]);
            break;
        case Refusal::OtherReplay:
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
