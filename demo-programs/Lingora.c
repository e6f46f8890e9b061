/* Lingora.exe of the demonstration: a window that lists the words of the word
 * list it is given, or of the sample list "Voorbeeld.wdl" in the folder it is
 * started in. The title bar shows that folder, so that a person sees at once
 * whether a shortcut's working folder is right.
 *
 *   Lingora.exe [file.wdl]
 *
 * When the variable LINGORA_RECORD names a file, the program first writes
 * there what it was given (Record.h), so that a test can check how Wine
 * started it.
 *
 * A word list is Windows-1252 text with CR LF line ends: the line
 * "Lingora word list", "Name=value" lines (Title, Languages), an empty line,
 * then one "word<TAB>translation" pair a line. */
#include <windows.h>
/* (windows.h first: the others build on it.) */
#include <shellapi.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <wchar.h>

#include "Record.h"

#define SAMPLE_LIST L"Voorbeeld.wdl"

/* The whole file as UTF-16 from Windows-1252; NULL when it cannot be read. */
static wchar_t* ReadWordList(const wchar_t* name) {
    HANDLE in = CreateFileW(name, GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING, 0, NULL);
    if (in == INVALID_HANDLE_VALUE) return NULL;
    DWORD size = GetFileSize(in, NULL), got = 0;
    char* bytes = size != INVALID_FILE_SIZE && size < 16u * 1024 * 1024 ? malloc(size + 1) : NULL;
    wchar_t* text = NULL;
    if (bytes != NULL && ReadFile(in, bytes, size, &got, NULL) && got == size) {
        text = calloc((size_t)size + 1, sizeof(wchar_t));
        if (text != NULL && size > 0 &&
            !MultiByteToWideChar(1252, 0, bytes, (int)size, text, (int)size + 1)) {
            free(text);
            text = NULL;
        }
    }
    free(bytes);
    CloseHandle(in);
    return text;
}

/* Fills the list box with the pairs of the word list, and names the list (its
 * title, else the file) in the heading. */
static void ShowWordList(HWND list, HWND heading, const wchar_t* name) {
    wchar_t* text = ReadWordList(name);
    wchar_t message[2 * MAX_PATH];
    if (text == NULL) {
        _snwprintf(message, 2 * MAX_PATH, L"Cannot read the word list %ls.", name);
        message[2 * MAX_PATH - 1] = 0;
        SetWindowTextW(heading, message);
        return;
    }
    _snwprintf(message, 2 * MAX_PATH, L"%ls", name);
    message[2 * MAX_PATH - 1] = 0;
    int inWords = 0;
    for (wchar_t *line = text, *end; *line != 0; line = end) {
        end = wcschr(line, L'\n');
        end = end != NULL ? end + 1 : line + wcslen(line);
        if (end[-1] == L'\n') end[-1] = 0;
        size_t length = wcslen(line);
        if (length > 0 && line[length - 1] == L'\r') line[--length] = 0;
        if (!inWords) {
            /* The head ends at the first empty line. */
            if (length == 0) {
                inWords = 1;
            } else if (wcsncmp(line, L"Title=", 6) == 0) {
                _snwprintf(message, 2 * MAX_PATH, L"%ls  (%ls)", line + 6, name);
                message[2 * MAX_PATH - 1] = 0;
            }
            continue;
        }
        if (length > 0) SendMessageW(list, LB_ADDSTRING, 0, (LPARAM)line);
    }
    SetWindowTextW(heading, message);
    free(text);
}

static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_SIZE: {
            HWND heading = GetDlgItem(window, 1), list = GetDlgItem(window, 2);
            int width = LOWORD(lParam), height = HIWORD(lParam);
            MoveWindow(heading, 8, 8, width - 16, 20, TRUE);
            MoveWindow(list, 8, 32, width - 16, height - 40, TRUE);
            return 0;
        }
        case WM_DESTROY:
            PostQuitMessage(0);
            return 0;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE previous, PWSTR commandLine, int show) {
    (void)previous;
    (void)commandLine;
    int argc = 0;
    wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &argc);
    wchar_t folder[MAX_PATH] = L"";
    GetCurrentDirectoryW(MAX_PATH, folder);
    Record(folder, argc, argv);

    WNDCLASSW windowClass = {0};
    windowClass.lpfnWndProc = WindowProc;
    windowClass.hInstance = instance;
    windowClass.hCursor = LoadCursor(NULL, IDC_ARROW);
    windowClass.hbrBackground = (HBRUSH)(COLOR_BTNFACE + 1);
    windowClass.lpszClassName = L"LingoraWordList";
    RegisterClassW(&windowClass);

    wchar_t title[MAX_PATH + 16];
    _snwprintf(title, MAX_PATH + 16, L"Lingora - %ls", folder);
    title[MAX_PATH + 15] = 0;
    HWND window = CreateWindowW(L"LingoraWordList", title, WS_OVERLAPPEDWINDOW, CW_USEDEFAULT,
                                CW_USEDEFAULT, 520, 400, NULL, NULL, instance, NULL);
    if (window == NULL) return 1; /* no display */
    HFONT font = (HFONT)GetStockObject(DEFAULT_GUI_FONT);
    HWND heading = CreateWindowW(L"STATIC", L"", WS_CHILD | WS_VISIBLE, 0, 0, 0, 0, window,
                                 (HMENU)1, instance, NULL);
    HWND list = CreateWindowExW(WS_EX_CLIENTEDGE, L"LISTBOX", L"",
                                WS_CHILD | WS_VISIBLE | WS_VSCROLL | LBS_USETABSTOPS | LBS_NOSEL, 0,
                                0, 0, 0, window, (HMENU)2, instance, NULL);
    SendMessageW(heading, WM_SETFONT, (WPARAM)font, TRUE);
    SendMessageW(list, WM_SETFONT, (WPARAM)font, TRUE);
    INT tabStop = 120;
    SendMessageW(list, LB_SETTABSTOPS, 1, (LPARAM)&tabStop);
    ShowWordList(list, heading, argc > 1 ? argv[1] : SAMPLE_LIST);
    LocalFree(argv);

    RECT client;
    GetClientRect(window, &client);
    SendMessageW(window, WM_SIZE, 0, MAKELPARAM(client.right, client.bottom));
    ShowWindow(window, show);
    MSG message;
    while (GetMessageW(&message, NULL, 0, 0) > 0) {
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
    return 0;
}
