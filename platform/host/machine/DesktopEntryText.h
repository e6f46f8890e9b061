// The text forms of the freedesktop.org files that the desktop reads: values
// of desktop entries (version 1.5 of their format), the command line of
// their Exec key, and XML text for menu and MIME files. All text is UTF-8.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace desktopentry {

// A value of the string kinds: backslash, newline, tab and carriage return
// escaped, a leading blank as "\s". Nothing for a text with another control
// character, which a desktop entry cannot hold.
std::optional<std::string> StringValue(const std::string& text);

// The value of an Exec key that runs the arguments as they are, followed by
// fieldCode ("%f", or "" for none): an argument with a reserved character is
// quoted, with '"', '`', '$' and '\' escaped inside the quotes, '%' is
// doubled, and the whole is a string value. Nothing when an argument holds a
// control character.
std::optional<std::string> ExecValue(const std::vector<std::string>& arguments,
                                     const std::string& fieldCode = "");

// The arguments of an Exec value (as it stands in the file, string escapes
// included), read the way a shell reads them, which also covers Wine's own
// partly quoted "WINEPREFIX=\"...\"". Field codes stay as they are.
std::vector<std::string> ExecArguments(const std::string& value);

// Text for XML character data and attribute values.
std::string XmlText(const std::string& text);

// A string value read back: the escapes of StringValue undone.
std::string UnescapeStringValue(const std::string& value);

}  // namespace desktopentry
