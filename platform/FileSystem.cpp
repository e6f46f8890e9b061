#include "platform/FileSystem.h"

#include <algorithm>
#include <array>

#include "platform/WinTypes.h"

bool FindData::IsDirectory() const { return (attributes & win::FILE_ATTRIBUTE_DIRECTORY) != 0; }

CopyOutcome CopyThroughBuffer(IFileStream& from, IFileStream& to, std::uint64_t count) {
    constexpr std::size_t kBufferSize = 61440;
    std::array<char, kBufferSize> buffer;
    CopyOutcome outcome;
    while (outcome.copied < count) {
        const auto want =
            static_cast<std::size_t>(std::min<std::uint64_t>(kBufferSize, count - outcome.copied));
        const std::size_t got = from.Read(buffer.data(), want);
        const std::size_t put = to.Write(buffer.data(), got);
        outcome.copied += put;
        if (put < got) {
            outcome.fault = CopyOutcome::Fault::ShortWrite;
            break;
        }
        if (got < want) {
            outcome.fault = CopyOutcome::Fault::ShortRead;
            break;
        }
    }
    return outcome;
}

bool IsParentName(const std::string& name) {
    if (name.size() < 2) return false;
    std::size_t dots = 0;
    for (const char c : name) {
        if (c == '.') {
            ++dots;
        } else if (c != ' ') {
            return false;
        }
    }
    return dots >= 2;
}
