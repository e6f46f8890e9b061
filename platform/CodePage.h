// Conversion between the ANSI code page of the system (Windows-1252) and
// Unicode, the one place where text changes its encoding. The core keeps ANSI
// bytes; the windows show UTF-8 (QString), the host names files in UTF-8, the
// registry files and shortcut files store UTF-16.
#pragma once

#include <optional>
#include <string>

// Windows-1252 to UTF-8. Never fails: the five bytes that Windows-1252 leaves
// undefined become the control characters of the same number, as on Windows.
std::string AnsiToUtf8(const std::string& ansi);
// UTF-8 to Windows-1252; nothing when the text is not valid UTF-8 or holds a
// character that Windows-1252 cannot store.
std::optional<std::string> Utf8ToAnsi(const std::string& utf8);
// A host text (a file name) for a message: in Windows-1252 when it can be,
// else with every non-ASCII byte shown as '?'.
std::string Utf8ToAnsiForMessage(const std::string& utf8);

std::u16string AnsiToUtf16(const std::string& ansi);
std::optional<std::string> Utf16ToAnsi(const std::u16string& utf16);

std::string Utf16ToUtf8(const std::u16string& utf16);  // lone surrogates become U+FFFD
