// The reader of one data volume ("Setup.d01" and its successors) and the
// chunked copy that writes the stored files into the installation folder,
// reporting each one's name (which the copying writes to the install log)
// before it is created.
//
// The target file being written lives in the unit (OutFile, OutFileRemaining),
// not in a TDataFile, because a file's data may run on from one volume into the
// next: the next volume's TDataFile goes on writing the same file.
//
// Errors: "Cannot open file %s" (EFOpenError), "Cannot create file %s"
// (EFCreateError), "Stream read error" (EReadError), "Stream write error"
// (EWriteError), and EDamagedVolume for content the format does not allow (a
// header cut short or crossing the volume's end, a negative size, a stored name
// that would leave the installation folder).
//
// Thread use: the user-interface thread only (the extraction thread hands its
// steps over); one extraction at a time.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "platform/FileSystem.h"
#include "volumes/VolumeDigest.h"
#include "volumes/VolumeFormat.h"

// The file being extracted: open while OutFileRemaining is above 0.
extern std::unique_ptr<IFileStream> OutFile;
// Bytes of the current file still to be written; 0 means that the next record's
// header is read next.
extern std::int32_t OutFileRemaining;
// The stored name of the file extracted last, as its progress shows it.
extern std::string OutFileName;
// Closes a target file left open by an extraction that ended early, and starts
// the next extraction from a record header.
void ResetOutFile();

using volume::VolumeName;

class TDataFile {
  public:
    // Called with a file's stored name before the file is created in the
    // installation folder; an exception it raises ends the copy there, before
    // the file exists. Empty: nothing is reported.
    using FileStarting = std::function<void(const std::string& storedName)>;

    // Opens the volume for reading, shared with nobody. Raises EFOpenError when
    // it cannot be opened. The files are written into targetFolder (a Windows
    // path), each reported to fileStarting first.
    TDataFile(const std::string& fileName, FileStarting fileStarting,
              const std::string& targetFolder);
    // A volume on a disk, named by its host path (volumes/DiskSearch.h), which
    // may hold any bytes: opened as a host file, named readably in messages.
    struct HostPath {
        std::string path;
    };
    TDataFile(const HostPath& volume, FileStarting fileStarting, const std::string& targetFolder);
    ~TDataFile();
    TDataFile(const TDataFile&) = delete;
    TDataFile& operator=(const TDataFile&) = delete;

    // Reads bytes up to a NUL into name (without it). False when the volume
    // ended first; name then holds what was read.
    bool ReadName(std::string& name);
    // Reads four bytes, little-endian. False when fewer were left; value then
    // holds the bytes read so far.
    bool ReadInt32(std::int32_t& value);
    // Reads one byte (0..255). False when none was left.
    bool ReadByte(int& value);
    // Copies up to requested bytes of file data into the installation folder,
    // starting the next file (log line, folders, creation) whenever the current
    // one is complete. Stops early only when the volume's data part is used up;
    // copies nothing when it already is. copied = data bytes written.
    void CopyChunk(std::int32_t requested, std::int32_t& copied);
    // Creates the empty files whose records follow the last data byte of the set;
    // a record with data there is more than the total allows (EDamagedVolume).
    void FinishEmptyFiles();

    // Reads the next record header and checks it as the copy does: EDamagedVolume
    // for a header cut short or crossing the volume's end, a negative size or one
    // above largestSize, a name that would leave the installation folder.
    void ReadHeader(std::string& name, std::int32_t& size, std::int64_t largestSize);
    // Moves over count bytes of file data, which must lie in the data part.
    void SkipData(std::int64_t count);

    // The digest of the whole volume, read through this volume's own handle, so
    // that what was checked is what the copy reads. The reading position stays
    // where it was. Nothing when stop asked for the end first.
    std::optional<volume::StreamDigest> Digest(const volume::StopRequested& stop);

    // The volume's data part is used up: only the next-volume byte is left.
    bool DataExhausted();
    std::int64_t Position();
    std::int64_t Size() const { return size_; }
    const std::string& FileName() const { return fileName_; }

    // Raises EDamagedVolume naming this volume, the offset and the fault.
    [[noreturn]] void Damaged(const std::string& fault, std::int64_t offset) const;

  private:
    void StartNextFile(std::int64_t largestSize);

    // Reads up to count bytes at the position, through the read-ahead.
    std::size_t Read(void* bytes, std::size_t count);
    // Reads the next stretch of the volume into the read-ahead; false at its end.
    bool Refill();
    std::size_t Buffered() const { return bufferEnd_ - bufferAt_; }

    std::string fileName_;
    std::unique_ptr<IFileStream> stream_;
    std::int64_t size_ = 0;
    std::int64_t position_ = 0;
    // Bytes read ahead from the volume: buffer_[bufferAt_, bufferEnd_) are the
    // bytes at position_, and the stream stands behind them, so that record
    // headers and small files come out of memory while the data beyond the
    // read-ahead is copied from the stream's own position.
    std::unique_ptr<char[]> buffer_;
    std::size_t bufferAt_ = 0;
    std::size_t bufferEnd_ = 0;
    FileStarting fileStarting_;
    std::string targetFolder_;
};
