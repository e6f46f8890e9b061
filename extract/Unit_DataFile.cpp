#include "extract/Unit_DataFile.h"

#include <algorithm>
#include <array>
#include <cstring>

#include "installlog/Unit_Logfile.h"
#include "installlog/Unit_Paths.h"
#include "platform/Exceptions.h"
#include "platform/Platform.h"

std::unique_ptr<IFileStream> OutFile;
std::int32_t OutFileRemaining = 0;

namespace {
// The folder made sure of for the last file: files of one folder follow each
// other in a set, and the folder need not be looked up again for each of them.
std::string lastFolderMade;
}  // namespace

void ResetOutFile() {
    OutFile.reset();
    OutFileRemaining = 0;
    lastFolderMade.clear();
}

namespace {
// Names are read in blocks and the position set back behind the NUL, which
// reads the same bytes as one read per byte with a fraction of the calls.
constexpr std::size_t kNameBlock = 256;

void CloseOutFile() {
    std::unique_ptr<IFileStream> file = std::move(OutFile);
    if (file && !file->Close()) throw EWriteError();
}
}  // namespace

TDataFile::TDataFile(const std::string& fileName, int /*mode*/, TLogFile* logFile,
                     const std::string& targetFolder)
    : fileName_(fileName), logFile_(logFile), targetFolder_(targetFolder) {
    std::uint32_t error = 0;
    stream_ = Files().OpenRead(fileName, error);
    if (!stream_) throw EFOpenError(fileName);
    size_ = stream_->Size();
    if (size_ < 0) throw EFOpenError(fileName);
    position_ = 0;
}

TDataFile::~TDataFile() = default;

std::int64_t TDataFile::Position() { return position_; }

bool TDataFile::DataExhausted() { return position_ >= size_ - volume::kNextVolumeByteSize; }

void TDataFile::Damaged(const std::string& fault, std::int64_t offset) const {
    throw EDamagedVolume("The data volume " + fileName_ + " is damaged at offset " +
                         std::to_string(offset) + ": " + fault);
}

bool TDataFile::ReadName(std::string& name) {
    name.clear();
    std::array<char, kNameBlock> block;
    while (true) {
        const std::size_t got = stream_->Read(block.data(), block.size());
        const void* nul = std::memchr(block.data(), 0, got);
        if (nul != nullptr) {
            const auto length =
                static_cast<std::size_t>(static_cast<const char*>(nul) - block.data());
            name.append(block.data(), length);
            position_ += static_cast<std::int64_t>(length) + 1;
            if (length + 1 < got && stream_->Seek(position_, SeekOrigin::Begin) != position_)
                throw EReadError();
            return true;
        }
        name.append(block.data(), got);
        position_ += static_cast<std::int64_t>(got);
        if (got < block.size()) return false;
    }
}

bool TDataFile::ReadInt32(std::int32_t& value) {
    unsigned char bytes[4] = {0, 0, 0, 0};
    const std::size_t got = stream_->Read(bytes, sizeof bytes);
    position_ += static_cast<std::int64_t>(got);
    std::uint32_t bits = 0;
    for (std::size_t i = 0; i < got; ++i) bits |= static_cast<std::uint32_t>(bytes[i]) << (8 * i);
    value = static_cast<std::int32_t>(bits);
    return got == sizeof bytes;
}

bool TDataFile::ReadByte(int& value) {
    unsigned char byte = 0;
    const std::size_t got = stream_->Read(&byte, 1);
    position_ += static_cast<std::int64_t>(got);
    value = byte;
    return got == 1;
}

void TDataFile::ReadHeader(std::string& name, std::int32_t& size, std::int64_t largestSize) {
    const std::int64_t headerAt = position_;
    const std::int64_t dataEnd = size_ - volume::kNextVolumeByteSize;
    size = 0;
    // Most headers lie whole in one block: name and size are taken from it and
    // the position is set back once, behind the size. A longer name, or a header
    // at the volume's end, is read again piece by piece.
    std::array<char, kNameBlock> block;
    const std::size_t got = stream_->Read(block.data(), block.size());
    const void* nul = std::memchr(block.data(), 0, got);
    const std::size_t length =
        nul == nullptr ? got : static_cast<std::size_t>(static_cast<const char*>(nul) - block.data());
    if (nul != nullptr && length + 5 <= got) {
        name.assign(block.data(), length);
        std::uint32_t bits = 0;
        for (std::size_t i = 0; i < 4; ++i)
            bits |= static_cast<std::uint32_t>(static_cast<unsigned char>(block[length + 1 + i]))
                    << (8 * i);
        size = static_cast<std::int32_t>(bits);
        position_ = headerAt + static_cast<std::int64_t>(length) + 5;
        if (length + 5 < got && stream_->Seek(position_, SeekOrigin::Begin) != position_)
            throw EReadError();
        if (position_ - 4 > dataEnd)
            Damaged("the name of a file runs past the end of the volume", headerAt);
        if (position_ > dataEnd)
            Damaged("the size of the file \"" + name + "\" runs past the end of the volume",
                    headerAt);
    } else {
        if (got > 0 && stream_->Seek(headerAt, SeekOrigin::Begin) != headerAt) throw EReadError();
        if (!ReadName(name) || position_ > dataEnd)
            Damaged("the name of a file runs past the end of the volume", headerAt);
        if (!ReadInt32(size) || position_ > dataEnd)
            Damaged("the size of the file \"" + name + "\" runs past the end of the volume",
                    headerAt);
    }
    if (size < 0) Damaged("the file \"" + name + "\" has a negative size", headerAt);
    if (size > largestSize)
        Damaged("the file \"" + name + "\" lies beyond the set's total size", headerAt);
    const std::string fault = volume::StoredNameFault(name);
    if (!fault.empty()) Damaged(fault + " (\"" + name + "\")", headerAt);
}

void TDataFile::SkipData(std::int64_t count) {
    const std::int64_t target = position_ + count;
    if (count < 0 || target > size_ - volume::kNextVolumeByteSize ||
        stream_->Seek(target, SeekOrigin::Begin) != target)
        throw EReadError();
    position_ = target;
}

void TDataFile::StartNextFile(std::int64_t largestSize) {
    std::string name;
    std::int32_t size = 0;
    ReadHeader(name, size, largestSize);

    // The log line is in the file before the file it names is created.
    if (logFile_ != nullptr) logFile_->WriteLine(name);
    const std::string target = JoinPath(targetFolder_, name);
    const std::string folder = target.substr(0, target.rfind('\\') + 1);
    if (folder != lastFolderMade) {
        Files().MakeSureDirectoryPathExists(target);
        lastFolderMade = folder;
    }
    std::uint32_t error = 0;
    OutFile = Files().CreateAlways(target, error);
    if (!OutFile) throw EFCreateError(target);
    OutFileRemaining = size;
}

void TDataFile::CopyChunk(std::int32_t requested, std::int32_t& copied) {
    copied = 0;
    // A used-up volume holds only its next-volume byte, which is no record header:
    // the caller moves on to the next volume.
    if (DataExhausted()) return;
    const std::int64_t dataEnd = size_ - volume::kNextVolumeByteSize;
    do {
        if (OutFileRemaining == 0) StartNextFile(INT32_MAX);
        const std::int64_t amount = std::min<std::int64_t>(
            {dataEnd - position_, OutFileRemaining, static_cast<std::int64_t>(requested) - copied});
        if (amount > 0) {
            const CopyOutcome outcome =
                Files().Copy(*stream_, *OutFile, static_cast<std::uint64_t>(amount));
            position_ += static_cast<std::int64_t>(outcome.copied);
            if (outcome.fault == CopyOutcome::Fault::ShortWrite) throw EWriteError();
            if (outcome.fault == CopyOutcome::Fault::ShortRead ||
                outcome.copied < static_cast<std::uint64_t>(amount))
                throw EReadError();
            copied += static_cast<std::int32_t>(amount);
            OutFileRemaining -= static_cast<std::int32_t>(amount);
        }
        if (OutFileRemaining == 0) CloseOutFile();
    } while (position_ < dataEnd && copied < requested);
}

void TDataFile::FinishEmptyFiles() {
    while (!DataExhausted()) {
        StartNextFile(0);
        CloseOutFile();
    }
}
