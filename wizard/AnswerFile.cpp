#include "wizard/AnswerFile.h"

#include <QFile>
#include <QSaveFile>
#include <QSettings>
#include <QStringList>
#include <cerrno>
#include <cstring>
#include <fstream>
#include <map>
#include <sstream>
#include <vector>

#include "dialogs/Unit_Constants.h"
#include "install/Unit_Installation.h"
#include "platform/CodePage.h"

std::string SaveAnswersPath;

namespace {

constexpr char Section[] = "Setup";
constexpr char InstallFolderKey[] = "InstallFolder";
constexpr char StartMenuFolderKey[] = "StartMenuFolder";
constexpr char KeepVersion1Key[] = "KeepVersion1";
constexpr char RestartKey[] = "Restart";
constexpr char DesktopEntriesKey[] = "DesktopEntries";
const char* const Keys[] = {InstallFolderKey, StartMenuFolderKey, KeepVersion1Key, RestartKey,
                            DesktopEntriesKey};

QString Key(const char* name) { return QString(Section) + "/" + name; }

std::string Trimmed(const std::string& text) {
    const std::size_t first = text.find_first_not_of(" \t");
    if (first == std::string::npos) return {};
    return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

}  // namespace

std::string SaveAnswers(const std::string& path, const TAnswers& answers) {
    const QString file = QString::fromStdString(path);
    {
        QSettings settings(file, QSettings::IniFormat);
        settings.clear();  // nothing of an earlier file stays
        const auto text = [](const std::string& ansi) {
            return QString::fromStdString(AnsiToUtf8(ansi));
        };
        if (answers.InstallFolder)
            settings.setValue(Key(InstallFolderKey), text(*answers.InstallFolder));
        if (answers.StartMenuFolder)
            settings.setValue(Key(StartMenuFolderKey), text(*answers.StartMenuFolder));
        if (answers.KeepVersion1) settings.setValue(Key(KeepVersion1Key), *answers.KeepVersion1);
        if (answers.Restart) settings.setValue(Key(RestartKey), *answers.Restart);
        if (answers.DesktopEntries)
            settings.setValue(Key(DesktopEntriesKey), *answers.DesktopEntries);
        settings.sync();
        if (settings.status() != QSettings::NoError)
            return "the answers cannot be saved in " + path + ": it cannot be written";
    }
    // QSettings keeps no comments: the line naming this Setup goes in front.
    QFile written(file);
    if (!written.open(QIODevice::ReadOnly))
        return "the answers cannot be saved in " + path + ": " +
               written.errorString().toStdString();
    const QByteArray body = written.readAll();
    written.close();
    QSaveFile out(file);
    const QByteArray comment = QByteArray("; Lingora Setup ") + VersionText +
                               " answers: lingora-setup --unattended --accept-licence --answers "
                               "FILE\n";
    if (!out.open(QIODevice::WriteOnly) ||
        out.write(comment + body) != comment.size() + body.size() || !out.commit())
        return "the answers cannot be saved in " + path + ": " + out.errorString().toStdString();
    return {};
}

std::optional<TAnswers> ReadAnswers(const std::string& path, std::string& error) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        error = path + ": the answer file cannot be read: " + std::strerror(errno);
        return std::nullopt;
    }
    const auto fault = [&](int line, const std::string& text) {
        error = path + ": line " + std::to_string(line) + ": " + text;
        return std::nullopt;
    };
    // The lines of the keys, and every line QSettings would pass over unread.
    std::map<std::string, int> lineOf;
    std::string section;
    int number = 0;
    for (std::string line; std::getline(in, line);) {
        ++number;
        if (!line.empty() && line.back() == '\r') line.pop_back();
        line = Trimmed(line);
        if (line.empty() || line[0] == ';' || line[0] == '#') continue;
        if (line.front() == '[') {
            if (line.back() != ']') return fault(number, "a section name without its \"]\"");
            section = line.substr(1, line.size() - 2);
            if (section != Section)
                return fault(number, "unknown section [" + section + "]; the answers stand in [" +
                                         Section + "]");
            continue;
        }
        const std::size_t equals = line.find('=');
        if (equals == std::string::npos) return fault(number, "not a line KEY=VALUE");
        const std::string key = Trimmed(line.substr(0, equals));
        if (section.empty())
            return fault(number, "the key \"" + key + "\" stands before the [Setup] section");
        bool known = false;
        for (const char* name : Keys) known = known || key == name;
        if (!known) return fault(number, "unknown key \"" + key + "\"");
        if (lineOf.count(key) != 0) return fault(number, "the key \"" + key + "\" is given twice");
        lineOf[key] = number;
    }

    const QSettings settings(QString::fromStdString(path), QSettings::IniFormat);
    if (settings.status() != QSettings::NoError) {
        error = path + ": not an answer file (an INI file) that can be read";
        return std::nullopt;
    }
    TAnswers answers;
    const auto text = [&](const char* key) -> std::optional<std::string> {
        const QVariant value = settings.value(Key(key));
        if (value.typeId() == QMetaType::QStringList) return std::nullopt;  // unquoted commas
        return Utf8ToAnsi(value.toString().toStdString());
    };
    const auto flag = [&](const char* key) -> std::optional<bool> {
        const QString value = settings.value(Key(key)).toString().trimmed().toLower();
        if (value == "true") return true;
        if (value == "false") return false;
        return std::nullopt;
    };
    for (const auto& [key, line] : lineOf) {
        if (key == InstallFolderKey || key == StartMenuFolderKey) {
            const std::optional<std::string> value = text(key.c_str());
            if (!value)
                return fault(line, key +
                                       " must be one name in Windows-1252 (a name with a comma "
                                       "goes in double quotes)");
            if (key == InstallFolderKey && !IsDrivePath(*value))
                return fault(line, key + " must be a full Windows path, with its drive (C:\\...)");
            (key == InstallFolderKey ? answers.InstallFolder : answers.StartMenuFolder) = *value;
        } else {
            const std::optional<bool> value = flag(key.c_str());
            if (!value) return fault(line, key + " must be true or false");
            (key == KeepVersion1Key ? answers.KeepVersion1
             : key == RestartKey    ? answers.Restart
                                    : answers.DesktopEntries) = *value;
        }
    }
    return answers;
}
