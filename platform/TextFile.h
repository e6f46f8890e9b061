// Reading a text file line by line through the platform's file system, as the
// framework's text files do: lines end at CR LF, LF or a lone CR; the last line
// may lack its line end. Every failure raises EInOutError with the OS error code.
#pragma once

#include <memory>
#include <string>

#include "platform/FileSystem.h"

class TextFileReader {
  public:
    // Opens the file; EInOutError when it cannot be opened.
    explicit TextFileReader(const std::string& path);
    ~TextFileReader();
    TextFileReader(const TextFileReader&) = delete;
    TextFileReader& operator=(const TextFileReader&) = delete;

    // Reads the next line into line; false at the end of the file.
    bool ReadLine(std::string& line);
    void Close();

  private:
    bool Fill();

    std::unique_ptr<IFileStream> stream_;
    std::string buffer_;
    std::size_t next_ = 0;
};
