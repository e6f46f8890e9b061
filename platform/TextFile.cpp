#include "platform/TextFile.h"

#include "platform/Exceptions.h"
#include "platform/Platform.h"
#include "platform/WinTypes.h"

TextFileReader::TextFileReader(const std::string& path) {
    std::uint32_t error = 0;
    stream_ = Files().OpenRead(path, error);
    if (!stream_) throw EInOutError(error != 0 ? error : win::ERROR_FILE_NOT_FOUND);
}

TextFileReader::~TextFileReader() = default;

bool TextFileReader::Fill() {
    if (next_ < buffer_.size()) return true;
    if (!stream_) throw EInOutError(win::ERROR_INVALID_HANDLE);
    buffer_.resize(16384);
    const std::size_t got = stream_->Read(buffer_.data(), buffer_.size());
    buffer_.resize(got);
    next_ = 0;
    if (got == 0 && stream_->LastError() != 0) throw EInOutError(stream_->LastError());
    return got > 0;
}

bool TextFileReader::ReadLine(std::string& line) {
    line.clear();
    if (!Fill()) return false;
    while (Fill()) {
        const char c = buffer_[next_++];
        if (c == '\n') return true;
        if (c == '\r') {
            if (Fill() && buffer_[next_] == '\n') ++next_;
            return true;
        }
        line += c;
    }
    return true;
}

void TextFileReader::Close() {
    if (stream_ && !stream_->Close()) {
        const std::uint32_t error = stream_->LastError();
        stream_.reset();
        throw EInOutError(error);
    }
    stream_.reset();
}
