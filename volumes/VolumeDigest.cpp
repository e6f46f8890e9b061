#include "volumes/VolumeDigest.h"

#include <sys/random.h>
#include <xxhash.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <memory>

#include "platform/Exceptions.h"
#include "platform/FileSystem.h"
#include "platform/Platform.h"
#include "platform/WinTypes.h"
#include "volumes/DiskFolder.h"
#include "volumes/VolumeFormat.h"

namespace volume {

namespace {

constexpr std::size_t kDigestDigits = 32;
// Pieces in which a volume is read for its digest: large enough for the disk's
// speed, small enough to answer a stop request at once.
constexpr std::size_t kDigestPiece = 1024 * 1024;

[[noreturn]] void Refuse(const std::string& fault, std::size_t line) {
    throw EDamagedDigestFile("The digest file " + std::string(kDigestFileName) +
                             " is damaged in line " + std::to_string(line) + ": " + fault);
}

std::string Hex(const unsigned char* bytes, std::size_t count) {
    static const char digits[] = "0123456789abcdef";
    std::string text;
    text.reserve(count * 2);
    for (std::size_t i = 0; i < count; ++i) {
        text += digits[bytes[i] >> 4];
        text += digits[bytes[i] & 0x0f];
    }
    return text;
}

bool IsDigestText(const std::string& text) {
    return text.size() == kDigestDigits && std::all_of(text.begin(), text.end(), [](char c) {
               return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f');
           });
}

// A decimal number without sign or leading zeros, at most most.
std::optional<std::int64_t> Number(const std::string& text, std::int64_t most) {
    if (text.empty() || text.size() > 18 || (text.size() > 1 && text[0] == '0') ||
        text.find_first_not_of("0123456789") != std::string::npos)
        return std::nullopt;
    const std::int64_t value = std::stoll(text);
    if (value > most) return std::nullopt;
    return value;
}

std::vector<std::string> Words(const std::string& line) {
    std::vector<std::string> words;
    std::size_t at = 0;
    while (at <= line.size()) {
        const std::size_t end = std::min(line.find(' ', at), line.size());
        words.push_back(line.substr(at, end - at));
        at = end + 1;
    }
    return words;
}

// The lines of the text, without their ends; the last one may lack its LF.
// Far above any name that a path of Windows can hold.
constexpr std::int64_t kMostStoredNameLength = 65535;

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::size_t at = 0;
    while (at < text.size()) {
        std::size_t end = text.find('\n', at);
        if (end == std::string::npos) end = text.size();
        std::string line = text.substr(at, end - at);
        if (!line.empty() && line.back() == '\r') line.pop_back();
        lines.push_back(std::move(line));
        at = end + 1;
    }
    return lines;
}

}  // namespace

const VolumeDigest* SetDigests::Find(int number) const {
    if (number < 1 || static_cast<std::size_t>(number) > volumes.size()) return nullptr;
    return &volumes[static_cast<std::size_t>(number) - 1];
}

SetDigests ParseDigestFile(const std::string& text) {
    if (static_cast<std::int64_t>(text.size()) > kMostDigestFileSize)
        Refuse("it is larger than " + std::to_string(kMostDigestFileSize) + " bytes", 1);
    if (text.find('\0') != std::string::npos) Refuse("it holds a NUL byte", 1);
    const std::vector<std::string> lines = Lines(text);
    const auto line = [&](std::size_t index) -> const std::string& {
        if (index >= lines.size()) Refuse("the file ends early", index + 1);
        return lines[index];
    };
    if (line(0) != kDigestFileHeading)
        Refuse("it does not start with \"" + std::string(kDigestFileHeading) + "\"", 1);

    SetDigests set;
    const std::vector<std::string> identity = Words(line(1));
    if (identity.size() != 2 || identity[0] != "set" || !IsDigestText(identity[1]))
        Refuse("expected \"set\" and 32 hex digits", 2);
    set.identity = identity[1];

    const std::vector<std::string> count = Words(line(2));
    const auto volumes =
        count.size() == 2 && count[0] == "volumes" ? Number(count[1], kMostVolumes) : std::nullopt;
    if (!volumes || *volumes < 1)
        Refuse("expected \"volumes\" and a number from 1 to " + std::to_string(kMostVolumes), 3);

    for (int number = 1; number <= *volumes; ++number) {
        const std::size_t index = 2 + static_cast<std::size_t>(number);
        const std::vector<std::string> entry = Words(line(index));
        const auto given = entry.size() == 3 ? Number(entry[0], kMostVolumes) : std::nullopt;
        const auto size = entry.size() == 3 ? Number(entry[1], INT64_MAX / 2) : std::nullopt;
        if (!given || !size || !IsDigestText(entry[2]))
            Refuse("expected a volume number, its size and 32 hex digits", index + 1);
        if (*given != number)
            Refuse("expected the line of volume " + std::to_string(number), index + 1);
        if (*size < kNextVolumeByteSize)
            Refuse("a volume holds at least its next-volume byte", index + 1);
        set.volumes.push_back({number, *size, entry[2]});
    }
    std::size_t used = 3 + set.volumes.size();
    if (lines.size() > used && Words(lines[used]).size() > 0 &&
        Words(lines[used]).front() == "longest") {
        const std::vector<std::string> longest = Words(lines[used]);
        const auto length = longest.size() == 2 && longest[0] == "longest"
                                ? Number(longest[1], kMostStoredNameLength)
                                : std::nullopt;
        if (!length || *length < 1)
            Refuse("expected \"longest\" and the length of the longest stored name", used + 1);
        set.longestName = static_cast<int>(*length);
        ++used;
    }
    // Only an empty last line (the LF ending the final entry) may follow.
    if (lines.size() > used)
        Refuse("more lines than the " + std::to_string(set.volumes.size()) + " volumes", used + 1);
    return set;
}

std::string FormatDigestFile(const SetDigests& set) {
    std::string text = std::string(kDigestFileHeading) + "\n";
    text += "set " + set.identity + "\n";
    text += "volumes " + std::to_string(set.volumes.size()) + "\n";
    for (const VolumeDigest& volume : set.volumes)
        text += std::to_string(volume.number) + " " + std::to_string(volume.size) + " " +
                volume.digest + "\n";
    if (set.longestName) text += "longest " + std::to_string(*set.longestName) + "\n";
    return text;
}

namespace {
// The digest file open as file, named path in the messages.
SetDigests ReadOpenDigestFile(IFileStream* file, const std::string& path) {
    if (file == nullptr) throw EDamagedDigestFile("The digest file " + path + " cannot be read");
    const std::int64_t size = file->Size();
    if (size < 0 || size > kMostDigestFileSize)
        throw EDamagedDigestFile("The digest file " + path +
                                 " is not a digest file: it is larger than " +
                                 std::to_string(kMostDigestFileSize) + " bytes");
    std::string text(static_cast<std::size_t>(size), '\0');
    if (file->Read(text.data(), text.size()) != text.size())
        throw EDamagedDigestFile("The digest file " + path + " cannot be read");
    return ParseDigestFile(text);
}
}  // namespace

std::optional<SetDigests> ReadDigestFile(const std::string& path) {
    // Anything of that name counts: a folder, a FIFO or a device is no digest
    // file, and a set beside one is not taken as a set without one.
    const std::uint32_t attributes = Files().GetFileAttributes(path);
    if (attributes == win::INVALID_FILE_ATTRIBUTES) return std::nullopt;
    if ((attributes & win::FILE_ATTRIBUTE_DIRECTORY) != 0)
        throw EDamagedDigestFile("The digest file " + path + " is not a file but a folder");
    std::uint32_t error = 0;
    return ReadOpenDigestFile(Files().OpenRead(path, error).get(), path);
}

std::optional<SetDigests> ReadDigestFileIn(const std::string& hostFolder) {
    const std::optional<std::string> path = disks::FileInFolder(hostFolder, kDigestFileName);
    if (!path) {
        // Something of that name that is no regular file (a folder, a FIFO, a
        // device) is no digest file, and the set beside it is not taken as a
        // set without one.
        std::uint32_t error = 0;
        const std::string named = disks::JoinFolder(hostFolder, kDigestFileName);
        if (Files().OpenHostRead(named, error) || error == win::ERROR_ACCESS_DENIED) {
            const std::optional<std::string> windows = Files().FromHostPath(named);
            const bool folder =
                windows &&
                (Files().GetFileAttributes(*windows) & win::FILE_ATTRIBUTE_DIRECTORY) != 0 &&
                Files().GetFileAttributes(*windows) != win::INVALID_FILE_ATTRIBUTES;
            throw EDamagedDigestFile(
                "The digest file " + disks::ReadableFolder(named) +
                (folder ? " is not a file but a folder" : " is not a regular file"));
        }
        return std::nullopt;
    }
    std::uint32_t error = 0;
    return ReadOpenDigestFile(Files().OpenHostRead(*path, error).get(),
                              disks::ReadableFolder(*path));
}

std::optional<StreamDigest> DigestOf(const ReadBytes& read, const StopRequested& stop) {
    const std::unique_ptr<XXH3_state_t, decltype(&XXH3_freeState)> state(XXH3_createState(),
                                                                         &XXH3_freeState);
    if (!state || XXH3_128bits_reset(state.get()) != XXH_OK)
        throw Exception("not enough memory to compute a volume's digest");
    const std::unique_ptr<char[]> buffer(new char[kDigestPiece]);
    StreamDigest result;
    while (true) {
        if (stop && stop()) return std::nullopt;
        const std::size_t got = read(buffer.get(), kDigestPiece);
        if (got == 0) break;
        XXH3_128bits_update(state.get(), buffer.get(), got);
        result.size += static_cast<std::int64_t>(got);
    }
    XXH128_canonical_t canonical;
    XXH128_canonicalFromHash(&canonical, XXH3_128bits_digest(state.get()));
    result.digest = Hex(canonical.digest, sizeof canonical.digest);
    return result;
}

std::optional<StreamDigest> DigestOf(IFileStream& stream, const StopRequested& stop) {
    if (stream.Seek(0, SeekOrigin::Begin) != 0) throw EReadError();
    return DigestOf(
        [&stream](void* buffer, std::size_t count) { return stream.Read(buffer, count); }, stop);
}

std::string VolumeMismatch(const SetDigests& set, int number, const StreamDigest& volume) {
    const VolumeDigest* entry = set.Find(number);
    if (entry == nullptr)
        return "the set has " + std::to_string(set.volumes.size()) + " volume" +
               (set.volumes.size() == 1 ? "" : "s") + ", not a volume " + std::to_string(number);
    if (volume.size != entry->size)
        return "it holds " + std::to_string(volume.size) + " bytes, not " +
               std::to_string(entry->size);
    if (volume.digest != entry->digest)
        return "its digest is " + volume.digest + ", not " + entry->digest;
    return {};
}

std::string EarlySetFault(const std::string& folder) {
    const std::optional<SetDigests> set = ReadDigestFileIn(folder);
    if (!set || set->volumes.empty()) return {};
    const std::string first = VolumeName(1);
    const std::optional<std::string> path = disks::FileInFolder(folder, first);
    if (!path) return {};  // the copying names a volume it cannot open
    std::uint32_t error = 0;
    const std::unique_ptr<IFileStream> file = Files().OpenHostRead(*path, error);
    if (!file) return {};  // the copying names a volume it cannot open
    const std::int64_t size = file->Size();
    const std::string damaged =
        "The data volume " + first + " is damaged or belongs to another set: ";
    if (size != set->volumes.front().size)
        return damaged + VolumeMismatch(*set, 1, StreamDigest{{}, size});
    unsigned char bytes[kTotalSize] = {};
    if (file->Read(bytes, sizeof bytes) != sizeof bytes) return {};  // the copying says so
    const std::int64_t total = DecodeInt32(bytes);
    std::int64_t room = -kTotalSize;
    for (const VolumeDigest& volume : set->volumes) room += volume.size - kNextVolumeByteSize;
    if (total > room)
        return damaged + "its total of " + std::to_string(total) + " bytes is more than the " +
               std::to_string(set->volumes.size()) + " volume" +
               (set->volumes.size() == 1 ? "" : "s") + " listed in " + kDigestFileName +
               " can hold (" + std::to_string(std::max<std::int64_t>(room, 0)) + " bytes)";
    return {};
}

int LongestStoredName(const std::string& folder) {
    const std::optional<SetDigests> set = ReadDigestFileIn(folder);
    if (set && set->longestName) return *set->longestName;
    const std::optional<std::string> first = disks::FileInFolder(folder, VolumeName(1));
    if (!first) return 0;
    std::uint32_t error = 0;
    const std::unique_ptr<IFileStream> file = Files().OpenHostRead(*first, error);
    if (!file) return 0;
    // The data part ends before the next-volume byte; a header cut there
    // continues on the next disk, which is not read here.
    const std::int64_t end = file->Size() - kNextVolumeByteSize;
    std::vector<char> buffer(64 * 1024);
    std::int64_t bufferStart = 0;
    std::size_t filled = 0;
    std::int64_t at = kTotalSize;
    const auto byteAt = [&](std::int64_t offset) -> int {
        if (offset >= end) return -1;
        if (offset < bufferStart || offset >= bufferStart + static_cast<std::int64_t>(filled)) {
            if (file->Seek(offset, SeekOrigin::Begin) != offset) return -1;
            bufferStart = offset;
            filled = file->Read(buffer.data(), buffer.size());
            if (filled == 0) return -1;
        }
        return static_cast<unsigned char>(buffer[static_cast<std::size_t>(offset - bufferStart)]);
    };
    int longest = 0;
    while (at < end) {
        std::int64_t length = 0;
        int c = 0;
        while ((c = byteAt(at + length)) > 0) ++length;
        if (c < 0) break;  // the name runs past the data part
        std::uint32_t size = 0;
        for (int i = 0; i < kSizeFieldSize; ++i) {
            c = byteAt(at + length + 1 + i);
            if (c < 0) return longest;
            size |= static_cast<std::uint32_t>(c) << (8 * i);
        }
        longest = std::max(longest, static_cast<int>(std::min<std::int64_t>(length, INT32_MAX)));
        at += length + 1 + kSizeFieldSize + static_cast<std::int32_t>(size);
        if (static_cast<std::int32_t>(size) < 0) break;
    }
    return longest;
}

std::string NewSetIdentity() {
    unsigned char bits[16];
    std::size_t got = 0;
    while (got < sizeof bits) {
        const ssize_t n = ::getrandom(bits + got, sizeof bits - got, 0);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0)
            throw Exception(std::string("cannot draw the set's identity: ") + std::strerror(errno));
        got += static_cast<std::size_t>(n);
    }
    return Hex(bits, sizeof bits);
}

}  // namespace volume
