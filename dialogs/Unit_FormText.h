// Texts of the core (Windows-1252 bytes whose line breaks are CR, CR LF or LF)
// as the windows show them, and back.
#pragma once

#include <QString>
#include <string>

// ANSI text to a window text: every CR LF, lone CR and lone LF becomes one line break.
QString FormText(const std::string& ansi);

// A window text (what the user typed) to ANSI. A character that Windows-1252
// cannot store becomes '?', as the system's own ANSI conversion does.
std::string AnsiFromForm(const QString& text);
