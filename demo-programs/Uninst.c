/* Uninst.exe of the demonstration: removes the installation of Lingora that
 * "Install.log" beside it records, after a yes/no question.
 *
 *   Uninst.exe        asks, then removes
 *   Uninst.exe /S     removes without asking and without messages
 *
 * What it removes, and nothing else: the files the log lists below the
 * installation folder, the shortcuts it lists below the Start-menu folder, each
 * of their folders that is then empty, the log, the installation folder when
 * empty; the uninstall entry and the file type ".wdl" / "Lingora.Wordlist"
 * when they still name this installation. An entry that would reach outside
 * its folder (an absolute path, a drive, "..") is skipped.
 *
 * A running program cannot delete its own file, so the program in the
 * installation folder hands the removal to a copy of itself in the temporary
 * folder, which waits for it to end; the copy is deleted at the next restart
 * (of Windows, or of the Wine prefix with "wineboot -r"). The copy is started
 * as: Uninst.exe /copy <process id> <installation folder> [/S]
 *
 * Like Lingora.exe, the program started by the person (not its copy) records
 * what it was given where LINGORA_RECORD says (Record.h).
 *
 * Exit codes: 0 removed (or handed to the copy), 1 the question was answered
 * no, 2 no installation recorded here, 3 the copy could not be started.
 *
 * Paths are ANSI, as the log holds them. */
#include <windows.h>
/* (windows.h first: the others build on it.) */
#include <shellapi.h>
#include <shlobj.h>
#include <shlwapi.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "Record.h"

#define TITLE "Lingora Uninstall"
#define UNINSTALL_KEYS "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall"
#define UNINSTALL_ENTRY "Lingora"
#define FILE_TYPE "Lingora.Wordlist"

static int silent = 0;

static void Say(const char* text, UINT icon) {
    if (!silent) MessageBoxA(NULL, text, TITLE, MB_OK | icon);
}

/* folder + "\" + name, as one path; empty when it would not fit. */
static void Join(char* out, const char* folder, const char* name) {
    size_t length = strlen(folder);
    int written =
        _snprintf(out, MAX_PATH, "%s%s%s", folder,
                  length > 0 && folder[length - 1] != '\\' && name[0] != 0 ? "\\" : "", name);
    if (written < 0 || written >= MAX_PATH) out[0] = 0;
}

/* True for a relative path that stays below its folder: no drive, no leading
 * backslash, no "." or ".." part, no forward slash. */
static int StaysInside(const char* entry) {
    if (entry[0] == '\\' || strchr(entry, ':') != NULL || strchr(entry, '/') != NULL) return 0;
    const char* part = entry;
    while (*part != 0) {
        const char* end = strchr(part, '\\');
        size_t length = end != NULL ? (size_t)(end - part) : strlen(part);
        if (length == 0) return 0;
        if ((length == 1 && part[0] == '.') || (length == 2 && part[0] == '.' && part[1] == '.'))
            return 0;
        part += length + (end != NULL ? 1 : 0);
    }
    return 1;
}

/* The log's lines, split in place (CR LF or LF ends). */
typedef struct {
    char* text;
    char** lines;
    int count;
} Log;

static int ReadLog(const char* file, Log* log) {
    memset(log, 0, sizeof *log);
    HANDLE in = CreateFileA(file, GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING, 0, NULL);
    if (in == INVALID_HANDLE_VALUE) return 0;
    DWORD size = GetFileSize(in, NULL), got = 0;
    int ok = size != INVALID_FILE_SIZE && size < 4u * 1024 * 1024 &&
             (log->text = malloc(size + 1)) != NULL && ReadFile(in, log->text, size, &got, NULL) &&
             got == size;
    CloseHandle(in);
    if (!ok) return 0;
    log->text[size] = 0;
    log->lines = malloc(sizeof(char*) * (size + 1));
    if (log->lines == NULL) return 0;
    for (char* line = log->text; *line != 0;) {
        char* end = strchr(line, '\n');
        if (end != NULL) *end = 0;
        size_t length = strlen(line);
        if (length > 0 && line[length - 1] == '\r') line[length - 1] = 0;
        log->lines[log->count++] = line;
        if (end == NULL) break;
        line = end + 1;
    }
    return 1;
}

/* The index of the first entry after the marker line, or count when none. */
static int Section(const Log* log, const char* marker) {
    for (int i = 0; i < log->count; ++i)
        if (strcmp(log->lines[i], marker) == 0) return i + 1;
    return log->count;
}

/* Deletes base\entry, then each folder of the entry from the innermost out,
 * when empty. Returns 0 when the file is still there. */
static int RemoveEntry(const char* base, const char* entry) {
    char path[MAX_PATH], relative[MAX_PATH];
    Join(path, base, entry);
    if (path[0] == 0) return 0;
    int removed = DeleteFileA(path) || GetFileAttributesA(path) == INVALID_FILE_ATTRIBUTES;
    lstrcpynA(relative, entry, MAX_PATH);
    for (char* cut = strrchr(relative, '\\'); cut != NULL; cut = strrchr(relative, '\\')) {
        *cut = 0;
        Join(path, base, relative);
        if (path[0] != 0) RemoveDirectoryA(path);
    }
    return removed;
}

/* The folder part of a registry string value (before its last backslash). */
static int ValueFolder(HKEY root, const char* key, const char* name, char* folder) {
    DWORD size = MAX_PATH;
    folder[0] = 0;
    if (SHGetValueA(root, key, name, NULL, folder, &size) != ERROR_SUCCESS) return 0;
    folder[MAX_PATH - 1] = 0;
    char* cut = strrchr(folder, '\\');
    if (cut == NULL) return 0;
    *cut = 0;
    return 1;
}

/* The registry entries, when they still name this installation (another copy
 * installed elsewhere since keeps its own). */
static void RemoveKeys(const char* installFolder) {
    /* Setup is a 32-bit program, so on 64-bit Windows its uninstall entry is
     * in the registry's 32-bit view; the 64-bit build of this program asks for
     * that view, and 32-bit Windows ignores the flag. (The file type's keys
     * below HKEY_CLASSES_ROOT are the same in both views.) */
    HKEY uninstall;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, UNINSTALL_KEYS, 0, KEY_READ | KEY_WOW64_32KEY,
                      &uninstall) == ERROR_SUCCESS) {
        char folder[MAX_PATH];
        if (ValueFolder(uninstall, UNINSTALL_ENTRY, "UninstallString", folder) &&
            lstrcmpiA(folder, installFolder) == 0)
            SHDeleteKeyA(uninstall, UNINSTALL_ENTRY);
        RegCloseKey(uninstall);
    }

    char command[MAX_PATH], program[MAX_PATH];
    DWORD size = MAX_PATH;
    Join(program, installFolder, "Lingora.exe");
    if (SHGetValueA(HKEY_CLASSES_ROOT, FILE_TYPE "\\Shell\\Open\\command", NULL, NULL, command,
                    &size) == ERROR_SUCCESS &&
        _strnicmp(command, program, strlen(program)) == 0) {
        SHDeleteKeyA(HKEY_CLASSES_ROOT, FILE_TYPE);
        char type[64];
        size = sizeof type;
        if (SHGetValueA(HKEY_CLASSES_ROOT, ".wdl", NULL, NULL, type, &size) == ERROR_SUCCESS &&
            strcmp(type, FILE_TYPE) == 0)
            SHDeleteKeyA(HKEY_CLASSES_ROOT, ".wdl");
    }
}

/* Removes what the log records; returns the number of files left behind. */
static int RemoveInstallation(const char* installFolder, const Log* log) {
    int left = 0;
    char programs[MAX_PATH] = "";
    const int folderLine = Section(log, "{program folder}");
    /* Without its Start-menu folder line the log names no shortcut to remove. */
    const char* group = folderLine < log->count ? log->lines[folderLine] : NULL;
    if (group != NULL && StaysInside(group) &&
        SUCCEEDED(SHGetFolderPathA(NULL, CSIDL_PROGRAMS, NULL, SHGFP_TYPE_CURRENT, programs))) {
        for (int i = Section(log, "{program folder files}"); i < log->count; ++i) {
            const char* entry = log->lines[i];
            if (entry[0] == 0) break;
            /* (Relative to the Programs folder, so that the Start-menu folder's
             * own folders go too when empty.) */
            char relative[MAX_PATH];
            Join(relative, group, entry);
            if (StaysInside(entry) && relative[0] != 0 && !RemoveEntry(programs, relative)) ++left;
        }
    }
    for (int i = Section(log, "{program files}"); i < log->count; ++i) {
        const char* entry = log->lines[i];
        if (entry[0] == 0) break;
        if (StaysInside(entry) && !RemoveEntry(installFolder, entry)) ++left;
    }
    RemoveKeys(installFolder);
    char file[MAX_PATH];
    Join(file, installFolder, "Install.log");
    DeleteFileA(file);
    RemoveDirectoryA(installFolder);
    return left;
}

/* Starts a copy of this program in the temporary folder that does the
 * removal once this one has ended. */
static int HandToCopy(const char* installFolder) {
    char self[MAX_PATH], temp[MAX_PATH], copy[MAX_PATH], commandLine[3 * MAX_PATH];
    if (!GetModuleFileNameA(NULL, self, MAX_PATH) || !GetTempPathA(MAX_PATH, temp)) return 0;
    _snprintf(copy, MAX_PATH, "%sLingora-Uninst-%lu.exe", temp, GetCurrentProcessId());
    copy[MAX_PATH - 1] = 0;
    if (!CopyFileA(self, copy, FALSE)) return 0;
    _snprintf(commandLine, sizeof commandLine, "\"%s\" /copy %lu \"%s\"%s", copy,
              GetCurrentProcessId(), installFolder, silent ? " /S" : "");
    commandLine[sizeof commandLine - 1] = 0;
    STARTUPINFOA startup;
    memset(&startup, 0, sizeof startup);
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process;
    if (!CreateProcessA(copy, commandLine, NULL, NULL, FALSE, 0, NULL, temp, &startup, &process))
        return 0;
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return 1;
}

int main(int argc, char** argv) {
    char installFolder[MAX_PATH] = "";
    DWORD original = 0;
    for (int i = 1; i < argc; ++i) {
        if (_stricmp(argv[i], "/S") == 0) {
            silent = 1;
        } else if (strcmp(argv[i], "/copy") == 0 && i + 2 < argc) {
            original = strtoul(argv[i + 1], NULL, 10);
            lstrcpynA(installFolder, argv[i + 2], MAX_PATH);
            i += 2;
        }
    }
    if (original == 0) {
        int count = 0;
        wchar_t** arguments = CommandLineToArgvW(GetCommandLineW(), &count);
        wchar_t workingFolder[MAX_PATH] = L"";
        GetCurrentDirectoryW(MAX_PATH, workingFolder);
        if (arguments != NULL) {
            Record(workingFolder, count, arguments);
            LocalFree(arguments);
        }
        GetModuleFileNameA(NULL, installFolder, MAX_PATH);
        char* cut = strrchr(installFolder, '\\');
        if (cut != NULL) *cut = 0;
    }

    char logFile[MAX_PATH], message[2 * MAX_PATH];
    Join(logFile, installFolder, "Install.log");
    Log log;
    if (!ReadLog(logFile, &log)) {
        _snprintf(message, sizeof message,
                  "No installation of Lingora is recorded in %s (Install.log is missing or "
                  "cannot be read). Nothing was removed.",
                  installFolder);
        message[sizeof message - 1] = 0;
        Say(message, MB_ICONERROR);
        return 2;
    }

    if (original == 0) {
        _snprintf(message, sizeof message,
                  "Remove Lingora from %s, with its Start-menu shortcuts and its file type?",
                  installFolder);
        message[sizeof message - 1] = 0;
        if (!silent && MessageBoxA(NULL, message, TITLE, MB_YESNO | MB_ICONQUESTION) != IDYES)
            return 1;
        if (!HandToCopy(installFolder)) {
            Say("The uninstaller could not start its copy in the temporary folder. Nothing was "
                "removed.",
                MB_ICONERROR);
            return 3;
        }
        return 0;
    }

    /* The copy: the program in the installation folder ends first. */
    HANDLE process = OpenProcess(SYNCHRONIZE, FALSE, original);
    if (process != NULL) {
        WaitForSingleObject(process, 30000);
        CloseHandle(process);
    }
    const int left = RemoveInstallation(installFolder, &log);
    char self[MAX_PATH];
    if (GetModuleFileNameA(NULL, self, MAX_PATH))
        MoveFileExA(self, NULL, MOVEFILE_DELAY_UNTIL_REBOOT);
    if (left == 0)
        _snprintf(message, sizeof message, "Lingora was removed from %s.", installFolder);
    else
        _snprintf(message, sizeof message,
                  "Lingora was removed from %s, except %d file(s) that could not be deleted "
                  "(in use?).",
                  installFolder, left);
    message[sizeof message - 1] = 0;
    Say(message, left == 0 ? MB_ICONINFORMATION : MB_ICONWARNING);
    return 0;
}
