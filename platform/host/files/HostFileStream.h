// An open host file as a stream. Unbuffered: each Write reaches the file when
// it returns, so that what was written survives the process.
//
// A stream may also stand for one part of a file (a file inside a disk image):
// it then reads only that part, its positions and size are the part's, and it
// cannot be written.
#pragma once

#include "platform/FileSystem.h"

class HostFileStream : public IFileStream {
  public:
    // Takes ownership of an open descriptor.
    explicit HostFileStream(int descriptor);
    // Takes ownership of an open descriptor and reads length bytes of it from
    // offset on.
    HostFileStream(int descriptor, std::int64_t offset, std::int64_t length);
    ~HostFileStream() override;
    HostFileStream(const HostFileStream&) = delete;
    HostFileStream& operator=(const HostFileStream&) = delete;

    std::size_t Read(void* buffer, std::size_t count) override;
    std::size_t Write(const void* buffer, std::size_t count) override;
    std::int64_t Seek(std::int64_t offset, SeekOrigin origin) override;
    std::int64_t Size() override;
    std::int64_t Position() override;
    bool Flush() override;
    bool Close() override;
    std::uint32_t LastError() const override { return lastError_; }

    // For the file system's fast copy: the descriptor (-1 once closed) and the
    // error of a transfer made on its behalf.
    int Descriptor() const { return descriptor_; }
    void SetLastError(std::uint32_t error) { lastError_ = error; }
    // How many bytes a read may still take from the descriptor's position:
    // the rest of the part, or without a part any number.
    std::uint64_t Readable();

  private:
    bool Usable();

    bool IsPart() const { return length_ >= 0; }

    int descriptor_;
    std::uint32_t lastError_ = 0;
    std::int64_t offset_ = 0;   // where the part starts in the file
    std::int64_t length_ = -1;  // the part's size; -1 for the whole file
};
