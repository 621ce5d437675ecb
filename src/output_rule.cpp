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
// file's size: a replay too large to load in a machine short of memory must still be seen.
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

// Whether the open file of `size` bytes, read from its start piece by piece, holds the marker
// with a setup block's times and length field inside the file, at any offset: an archive may
// hold a replay anywhere, where the summary looks only at the first aligned marker. The error
// that kept it from being read to its end.
OrError<bool> holdsSetupBlock(std::FILE* file, std::size_t size)
{
    // In static storage: no allocation that could fail, and no 64 KiB stack frame, on which
    // MinGW-w64's GCC 12 fails to compile the unwind table. Before each piece stand the last
    // bytes of the one before, where a marker may begin.
    constexpr std::size_t KEPT = SETUP_MARKER_BYTES.size() - 1;
    static std::array<char, KEPT + PIECE_SIZE> buffer;
    std::size_t kept = 0;
    for (std::size_t start = 0;;) {  // where buffer[0] stands in the file
        errno = 0;
        const std::size_t count = std::fread(buffer.data() + kept, 1, PIECE_SIZE, file);
        if (count < PIECE_SIZE && std::ferror(file) != 0) {
            return {.error = errno != 0 ? errno : EIO};
        }
        const std::string_view read(buffer.data(), kept + count);
        for (std::size_t at = read.find(SETUP_MARKER_BYTES); at != std::string_view::npos;
             at = read.find(SETUP_MARKER_BYTES, at + 1)) {
            if (setupBlockInside(start + at, size)) {
                return {.value = true};
            }
        }
        if (count < PIECE_SIZE) {
            return {.value = false};
        }
        kept = std::min(KEPT, read.size());
        std::copy(read.end() - static_cast<std::ptrdiff_t>(kept), read.end(), buffer.begin());
        start += read.size() - kept;
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
    if (isRegular(output.info)) {
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
    if (sameFile(info, judging.replay)) {
        return refusalAs(Refusal::ReplayBeingRead);
    }
    if (replaces && isRegular(info) && endsInReplayExtension(setup->path)) {
        return refusalAs(Refusal::OtherReplay);
    }
    if (info.kind == FileKind::BlockDevice ||
        (judging.replay.kind == FileKind::BlockDevice && isRegular(info))) {
        return refusalAs(Refusal::CannotTell, ENOTSUP);
    }
    if (replaces && setup->openError != 0) {
        return refusalAs(Refusal::CannotTell, setup->openError);
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
    const auto say = [replayPath](std::FILE* on, const char* stream, const OutputFile& file,
                                  const Refusal& refusal) {
        if (refusal.reason == Refusal::CannotTell) {
            report(on, "Error writing standard %s: cannot tell whether it is a replay: %s\n",
                   stream, std::strerror(refusal.error));
        } else {
            const bool replay = refusal.reason == Refusal::ReplayBeingRead;
            report(on, "Error writing standard %s: %s is %s replay file\n", stream,
                   replay ? replayPath : file.name.value.c_str(), replay ? "the" : "a");
        }
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
        return refusal ? std::variant<Refusal, SetupTarget>(*refusal) : OpenJudged{named.value};
    }
    const OrError<File> opened = openFile(setupPath, Access::Read);
    if (opened.error == ENOENT) {
        return CreateNew{};
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
    const auto refusal =
        refusalToWrite(describeOutput(opened.value.get(), info), judging, &candidate);
    return refusal ? std::variant<Refusal, SetupTarget>(*refusal) : OpenJudged{info.value};
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

File openSetupFileOrReport(const char* setupPath, const SetupTarget& target)
{
    OrError<File> opened;
    if (std::holds_alternative<CreateNew>(target)) {
        opened = openFile(setupPath, Access::Create);
    } else if (const auto* judged = std::get_if<OpenJudged>(&target)) {
        opened = openFile(setupPath, Access::Write);
        const FileInfo info = opened.value ? describe(opened.value.get()).value : FileInfo{};
        if (opened.value && (info.kind != judged->judged.kind || info.id != judged->judged.id)) {
            reportRefusal(setupPath, {Refusal::CannotTell, FILE_CHANGED});
            return nullptr;
        }
        if (opened.value && info.kind == FileKind::Regular) {
            opened.error = emptyFile(opened.value.get());
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
