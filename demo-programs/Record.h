/* What a demonstration program was given, written to the file that the
 * variable LINGORA_RECORD names, when it is set (nothing otherwise), so that
 * a test can check how Wine started the program. UTF-8, CR LF line ends:
 *
 *   folder=<working folder>
 *   argument=<each argument after the program's name>
 *
 * The record is written under a temporary name and then renamed, so that a
 * reader never sees half of it. */
#pragma once

#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <wchar.h>
#include <windows.h>

static void AppendUtf8(char** text, size_t* length, const wchar_t* item) {
    int bytes = WideCharToMultiByte(CP_UTF8, 0, item, -1, NULL, 0, NULL, NULL);
    if (bytes <= 0) return;
    char* grown = realloc(*text, *length + (size_t)bytes + 2);
    if (grown == NULL) return;
    *text = grown;
    WideCharToMultiByte(CP_UTF8, 0, item, -1, *text + *length, bytes, NULL, NULL);
    *length += (size_t)bytes - 1; /* without the terminating zero */
    memcpy(*text + *length, "\r\n", 2);
    *length += 2;
}

static void Record(const wchar_t* folder, int argc, wchar_t** argv) {
    wchar_t file[MAX_PATH], partial[MAX_PATH + 8], line[2 * MAX_PATH];
    DWORD got = GetEnvironmentVariableW(L"LINGORA_RECORD", file, MAX_PATH);
    if (got == 0 || got >= MAX_PATH) return;
    char* text = NULL;
    size_t length = 0;
    _snwprintf(line, 2 * MAX_PATH, L"folder=%ls", folder);
    line[2 * MAX_PATH - 1] = 0;
    AppendUtf8(&text, &length, line);
    for (int i = 1; i < argc; ++i) {
        _snwprintf(line, 2 * MAX_PATH, L"argument=%ls", argv[i]);
        line[2 * MAX_PATH - 1] = 0;
        AppendUtf8(&text, &length, line);
    }
    _snwprintf(partial, MAX_PATH + 8, L"%ls.part", file);
    HANDLE out = CreateFileW(partial, GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, 0, NULL);
    if (out != INVALID_HANDLE_VALUE) {
        DWORD written = 0;
        BOOL done = WriteFile(out, text != NULL ? text : "", (DWORD)length, &written, NULL);
        CloseHandle(out);
        if (done && written == length) MoveFileExW(partial, file, MOVEFILE_REPLACE_EXISTING);
    }
    free(text);
}
