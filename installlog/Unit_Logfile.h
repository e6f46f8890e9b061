// "Install.log", the installation record in the installation folder that the
// uninstaller and the next setup read back: its writer and its reader.
//
//   *** Don't change or delete this file ***
//   (empty)
//   {program folder}
//   <Start-menu folder>
//   (empty)
//   {program files}
//   Lingohlp.GID
//   <one stored file name per line>
//   (empty)
//   {program folder files}
//   <one shortcut file name per line>
//   (empty)
//
// Every line ends with CR LF; the content is ANSI bytes as given. Each line is
// handed to the machine in one unbuffered write, so a line is in the file before
// the caller goes on to create the file it names: a crash or kill never leaves a
// copied file that the log does not list.
//
// Every failure raises EInOutError with the operating-system error code.
// Thread use: the user-interface thread only.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "platform/FileSystem.h"

// The log's name and the lines that head its sections.
inline constexpr char LogFileName[] = "Install.log";
inline constexpr char ProgramFolderMarker[] = "{program folder}";
inline constexpr char ProgramFilesMarker[] = "{program files}";
inline constexpr char ProgramFolderFilesMarker[] = "{program folder files}";

class TLogFile {
  public:
    // Creates (or empties) JoinPath(installFolder, "Install.log") and writes the
    // header lines with the Start-menu folder. The folder must exist.
    TLogFile(const std::string& installFolder, const std::string& programFolder);
    // Closes the log (writing its final empty line) unless Close was called; never throws.
    ~TLogFile();
    TLogFile(const TLogFile&) = delete;
    TLogFile& operator=(const TLogFile&) = delete;

    // An empty line, then "{program files}".
    void StartProgramFiles();
    // An empty line, then "{program folder files}".
    void StartProgramFolderFiles();
    // The text as one line.
    void WriteLine(const std::string& text);
    // Writes the final empty line and closes the file. The file is closed even
    // when the line cannot be written; the error is raised afterwards.
    void Close();

    bool IsOpen() const { return stream_ != nullptr; }
    const std::string& FileName() const { return fileName_; }

  private:
    void Write(const std::string& bytes);

    std::string fileName_;
    std::unique_ptr<IFileStream> stream_;
};

// What an earlier installation's log says. Each section is found at the first
// line that heads it, wherever it stands; its entries run up to its first empty
// line or the end of the file, whether or not the last line has its line end.
struct TInstallLog {
    bool HasProgramFolder = false;  // a line follows "{program folder}"
    std::string ProgramFolder;      // that line: the Start-menu folder
    std::vector<std::string>
        ProgramFiles;  // "{program files}", relative to the installation folder
    std::vector<std::string>
        ProgramFolderFiles;  // "{program folder files}", relative to the Start-menu folder
};

// Reads the log at fileName. Raises EInOutError when it cannot be opened or read.
TInstallLog ReadInstallLog(const std::string& fileName);
