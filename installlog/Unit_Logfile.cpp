#include "installlog/Unit_Logfile.h"

#include <algorithm>

#include "installlog/Unit_Paths.h"
#include "platform/Exceptions.h"
#include "platform/Platform.h"
#include "platform/TextFile.h"
#include "platform/WinTypes.h"

namespace {
constexpr char kLineEnd[] = "\r\n";
constexpr char kWarningLine[] = "*** Don't change or delete this file ***";

// The lines after the first line that is the marker, up to the first empty one.
std::vector<std::string> SectionEntries(const std::vector<std::string>& lines, const char* marker) {
    auto entry = std::find(lines.begin(), lines.end(), marker);
    if (entry == lines.end()) return {};
    const auto end = std::find(++entry, lines.end(), std::string());
    return {entry, end};
}

// A failure the stream did not give a code for is still an I/O error.
std::uint32_t ErrorOf(const IFileStream& stream, std::uint32_t fallback) {
    const std::uint32_t code = stream.LastError();
    return code != 0 ? code : fallback;
}
}  // namespace

TLogFile::TLogFile(const std::string& installFolder, const std::string& programFolder)
    : fileName_(JoinPath(installFolder, LogFileName)) {
    std::uint32_t error = 0;
    stream_ = Files().CreateAlways(fileName_, error);
    if (!stream_) throw EInOutError(error != 0 ? error : win::ERROR_FILE_NOT_FOUND);
    // The header goes out in one write: a log is either absent or has all four lines.
    Write(std::string(kWarningLine) + kLineEnd + kLineEnd + ProgramFolderMarker + kLineEnd +
          programFolder + kLineEnd);
}

TLogFile::~TLogFile() {
    try {
        if (stream_) Close();
    } catch (...) {
        // A destructor reports nothing; Close has already released the file.
    }
}

void TLogFile::StartProgramFiles() { Write(std::string(kLineEnd) + ProgramFilesMarker + kLineEnd); }

void TLogFile::StartProgramFolderFiles() {
    Write(std::string(kLineEnd) + ProgramFolderFilesMarker + kLineEnd);
}

void TLogFile::WriteLine(const std::string& text) { Write(text + kLineEnd); }

void TLogFile::Close() {
    if (!stream_) throw EInOutError(win::ERROR_INVALID_HANDLE);
    std::unique_ptr<IFileStream> stream = std::move(stream_);
    const std::size_t written = stream->Write(kLineEnd, 2);
    const std::uint32_t writeError = written == 2 ? 0 : ErrorOf(*stream, win::ERROR_WRITE_FAULT);
    const bool closed = stream->Close();
    if (writeError != 0) throw EInOutError(writeError);
    if (!closed) throw EInOutError(ErrorOf(*stream, win::ERROR_WRITE_FAULT));
}

void TLogFile::Write(const std::string& bytes) {
    if (!stream_) throw EInOutError(win::ERROR_INVALID_HANDLE);
    if (stream_->Write(bytes.data(), bytes.size()) != bytes.size())
        throw EInOutError(ErrorOf(*stream_, win::ERROR_WRITE_FAULT));
}

TInstallLog ReadInstallLog(const std::string& fileName) {
    std::vector<std::string> lines;
    {
        TextFileReader reader(fileName);
        std::string line;
        while (reader.ReadLine(line)) lines.push_back(line);
        reader.Close();
    }
    TInstallLog log;
    const auto folder = std::find(lines.begin(), lines.end(), ProgramFolderMarker);
    if (folder != lines.end() && folder + 1 != lines.end()) {
        log.HasProgramFolder = true;
        log.ProgramFolder = *(folder + 1);
    }
    log.ProgramFiles = SectionEntries(lines, ProgramFilesMarker);
    log.ProgramFolderFiles = SectionEntries(lines, ProgramFolderFilesMarker);
    return log;
}
