// Answer files: the choices of one installation, saved by the wizard
// (--save-answers FILE) and given to the unattended installation
// (--answers FILE). An INI file in Qt's QSettings format, UTF-8, with a
// comment line first that names the Setup that wrote it:
//
//     ; Lingora Setup 2.0 answers: lingora-setup --unattended --accept-licence --answers FILE
//     [Setup]
//     DesktopEntries=true
//     InstallFolder=C:\\Program Files\\Lingora
//     KeepVersion1=false
//     Restart=false
//     StartMenuFolder=Lingora
//
// Every key may be left out; a key that is there must be one of these, with a
// value of its kind (folders in Windows-1252, the installation folder a full
// Windows path; true or false).
#pragma once

#include <optional>
#include <string>

struct TAnswers {
    std::optional<std::string> InstallFolder;    // a Windows path, Windows-1252
    std::optional<std::string> StartMenuFolder;  // below Programs, Windows-1252
    std::optional<bool> KeepVersion1;
    std::optional<bool> Restart;
    std::optional<bool> DesktopEntries;
};

// Writes the answers to path (a host path), replacing the file; "" when done,
// else the reason.
std::string SaveAnswers(const std::string& path, const TAnswers& answers);

// Reads the answers in path. Nothing when the file cannot be read or holds a
// fault, with the message in error: "FILE: line N: unknown key \"X\"".
std::optional<TAnswers> ReadAnswers(const std::string& path, std::string& error);

// The file that the wizard saves its answers to when the run is confirmed
// (--save-answers); empty: none.
extern std::string SaveAnswersPath;
