#include "dialogs/Unit_FormText.h"

#include <optional>

#include "platform/CodePage.h"

QString FormText(const std::string& ansi) {
    std::string lines;
    lines.reserve(ansi.size());
    for (std::size_t i = 0; i < ansi.size(); ++i) {
        if (ansi[i] == '\r') {
            lines += '\n';
            if (i + 1 < ansi.size() && ansi[i + 1] == '\n') ++i;
        } else {
            lines += ansi[i];
        }
    }
    return QString::fromStdString(AnsiToUtf8(lines));
}

std::string AnsiFromForm(const QString& text) {
    const std::u16string whole(reinterpret_cast<const char16_t*>(text.utf16()), text.size());
    if (std::optional<std::string> ansi = Utf16ToAnsi(whole)) return *ansi;
    std::string ansi;
    for (const QChar c : text) {
        const std::u16string unit(1, char16_t(c.unicode()));
        const std::optional<std::string> byte = Utf16ToAnsi(unit);
        ansi += byte ? *byte : std::string("?");
    }
    return ansi;
}
