// An open host file as a stream. Unbuffered: each Write reaches the file when
// it returns, so that what was written survives the process.
#pragma once

#include "platform/FileSystem.h"

class HostFileStream : public IFileStream {
  public:
    // Takes ownership of an open descriptor.
    explicit HostFileStream(int descriptor);
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

  private:
    bool Usable();

    int descriptor_;
    std::uint32_t lastError_ = 0;
};
