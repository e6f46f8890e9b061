#include "volumes/Unit_DataFile.h"

#include <algorithm>
#include <array>
#include <cstring>

#include "platform/DiagnosticLog.h"
#include "platform/Exceptions.h"
#include "platform/Platform.h"
#include "volumes/DiskFolder.h"

std::unique_ptr<IFileStream> OutFile;
std::int32_t OutFileRemaining = 0;
std::string OutFileName;

namespace {
// The folder made sure of for the last file: files of one folder follow each
// other in a set, and the folder need not be looked up again for each of them.
std::string lastFolderMade;
// The Windows path of the file being written, for the report of a failed write.
std::string outFileTarget;
// Its size as the volume gives it, for the diagnostic log.
std::int32_t outFileSize = 0;
}  // namespace

void ResetOutFile() {
    OutFile.reset();
    OutFileRemaining = 0;
    OutFileName.clear();
    lastFolderMade.clear();
    outFileTarget.clear();
}

namespace {
// The read-ahead: many small records at once.
constexpr std::size_t kReadAhead = 64 * 1024;

[[noreturn]] void WriteFailed(const IFileStream& file) {
    throw EWriteError(file.LastError(), outFileTarget);
}

void CloseOutFile() {
    std::unique_ptr<IFileStream> file = std::move(OutFile);
    if (file && !file->Close()) WriteFailed(*file);
    diag::Note("wrote file ", outFileTarget, " (", outFileSize, " bytes)");
}
}  // namespace

TDataFile::TDataFile(const std::string& fileName, FileStarting fileStarting,
                     const std::string& targetFolder)
    : fileName_(fileName),
      buffer_(new char[kReadAhead]),
      fileStarting_(std::move(fileStarting)),
      targetFolder_(targetFolder) {
    std::uint32_t error = 0;
    stream_ = Files().OpenRead(fileName, error);
    if (!stream_) throw EFOpenError(fileName);
    size_ = stream_->Size();
    if (size_ < 0) throw EFOpenError(fileName);
    position_ = 0;
}

TDataFile::TDataFile(const HostPath& volume, FileStarting fileStarting,
                     const std::string& targetFolder)
    : fileName_(disks::ReadableFolder(volume.path)),
      buffer_(new char[kReadAhead]),
      fileStarting_(std::move(fileStarting)),
      targetFolder_(targetFolder) {
    std::uint32_t error = 0;
    stream_ = Files().OpenHostRead(volume.path, error);
    if (!stream_) throw EFOpenError(fileName_);
    size_ = stream_->Size();
    if (size_ < 0) throw EFOpenError(fileName_);
    position_ = 0;
}

TDataFile::~TDataFile() = default;

std::int64_t TDataFile::Position() { return position_; }

std::optional<volume::StreamDigest> TDataFile::Digest(const volume::StopRequested& stop) {
    // The stream stands behind the read-ahead; it goes back there afterwards.
    const std::int64_t streamAt = position_ + static_cast<std::int64_t>(Buffered());
    std::optional<volume::StreamDigest> digest = volume::DigestOf(*stream_, stop);
    if (stream_->Seek(streamAt, SeekOrigin::Begin) != streamAt) throw EReadError();
    return digest;
}

bool TDataFile::DataExhausted() { return position_ >= size_ - volume::kNextVolumeByteSize; }

void TDataFile::Damaged(const std::string& fault, std::int64_t offset) const {
    throw EDamagedVolume("The data volume " + fileName_ + " is damaged at offset " +
                         std::to_string(offset) + ": " + fault);
}

bool TDataFile::Refill() {
    bufferAt_ = 0;
    bufferEnd_ = stream_->Read(buffer_.get(), kReadAhead);
    return bufferEnd_ > 0;
}

std::size_t TDataFile::Read(void* bytes, std::size_t count) {
    std::size_t done = 0;
    while (done < count) {
        if (Buffered() == 0 && !Refill()) break;
        const std::size_t part = std::min(count - done, Buffered());
        std::memcpy(static_cast<char*>(bytes) + done, buffer_.get() + bufferAt_, part);
        bufferAt_ += part;
        done += part;
    }
    position_ += static_cast<std::int64_t>(done);
    return done;
}

bool TDataFile::ReadName(std::string& name) {
    name.clear();
    while (true) {
        if (Buffered() == 0 && !Refill()) return false;
        const char* from = buffer_.get() + bufferAt_;
        const void* nul = std::memchr(from, 0, Buffered());
        const std::size_t length =
            nul != nullptr ? static_cast<std::size_t>(static_cast<const char*>(nul) - from)
                           : Buffered();
        name.append(from, length);
        const std::size_t taken = nul != nullptr ? length + 1 : length;
        bufferAt_ += taken;
        position_ += static_cast<std::int64_t>(taken);
        if (nul != nullptr) return true;
    }
}

bool TDataFile::ReadInt32(std::int32_t& value) {
    unsigned char bytes[4] = {0, 0, 0, 0};
    const std::size_t got = Read(bytes, sizeof bytes);  // the bytes not read stay 0
    value = volume::DecodeInt32(bytes);
    return got == sizeof bytes;
}

bool TDataFile::ReadByte(int& value) {
    unsigned char byte = 0;
    const std::size_t got = Read(&byte, 1);
    value = byte;
    return got == 1;
}

void TDataFile::ReadHeader(std::string& name, std::int32_t& size, std::int64_t largestSize) {
    const std::int64_t headerAt = position_;
    const std::int64_t dataEnd = size_ - volume::kNextVolumeByteSize;
    size = 0;
    if (!ReadName(name) || position_ > dataEnd)
        Damaged("the name of a file runs past the end of the volume", headerAt);
    if (!ReadInt32(size) || position_ > dataEnd)
        Damaged("the size of the file \"" + name + "\" runs past the end of the volume", headerAt);
    if (size < 0) Damaged("the file \"" + name + "\" has a negative size", headerAt);
    if (size > largestSize)
        Damaged("the file \"" + name + "\" lies beyond the set's total size", headerAt);
    const std::string fault = volume::StoredNameFault(name);
    if (!fault.empty()) Damaged(fault + " (\"" + name + "\")", headerAt);
}

void TDataFile::SkipData(std::int64_t count) {
    const std::int64_t target = position_ + count;
    if (count < 0 || target > size_ - volume::kNextVolumeByteSize) throw EReadError();
    if (count <= static_cast<std::int64_t>(Buffered())) {
        bufferAt_ += static_cast<std::size_t>(count);
    } else {
        if (stream_->Seek(target, SeekOrigin::Begin) != target) throw EReadError();
        bufferAt_ = bufferEnd_ = 0;
    }
    position_ = target;
}

void TDataFile::StartNextFile(std::int64_t largestSize) {
    std::string name;
    std::int32_t size = 0;
    ReadHeader(name, size, largestSize);

    // The name is reported (the log line is in the file) before the file it
    // names is created.
    if (fileStarting_) fileStarting_(name);
    const std::string target = volume::StoredFileTarget(targetFolder_, name);
    const std::string folder = target.substr(0, target.rfind('\\') + 1);
    if (folder != lastFolderMade) {
        // A folder that cannot be made is reported by the file's creation in it.
        [[maybe_unused]] const bool folderMade = Files().MakeSureDirectoryPathExists(target);
        lastFolderMade = folder;
    }
    std::uint32_t error = 0;
    OutFile = Files().CreateAlways(target, error);
    if (!OutFile) diag::SystemError("cannot create " + target, error);
    if (!OutFile) throw EFCreateError(target);
    OutFileRemaining = size;
    outFileSize = size;
    OutFileName = name;
    outFileTarget = target;
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
            // What the read-ahead holds is written from it; the rest is copied
            // from where the stream stands, just behind the read-ahead.
            const auto held = static_cast<std::int64_t>(
                std::min<std::int64_t>(amount, static_cast<std::int64_t>(Buffered())));
            if (held > 0) {
                const std::size_t written =
                    OutFile->Write(buffer_.get() + bufferAt_, static_cast<std::size_t>(held));
                bufferAt_ += written;
                position_ += static_cast<std::int64_t>(written);
                if (written < static_cast<std::size_t>(held)) WriteFailed(*OutFile);
            }
            const std::int64_t rest = amount - held;
            CopyOutcome outcome;
            if (rest > 0)
                outcome = Files().Copy(*stream_, *OutFile, static_cast<std::uint64_t>(rest));
            position_ += static_cast<std::int64_t>(outcome.copied);
            if (outcome.fault == CopyOutcome::Fault::ShortWrite) WriteFailed(*OutFile);
            if (outcome.fault == CopyOutcome::Fault::ShortRead ||
                outcome.copied < static_cast<std::uint64_t>(rest))
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
