#include "tests/support/RegistryFileReader.h"

#include <sstream>

std::map<std::string, std::vector<std::string>> RegistryFileKeys(const std::string& text) {
    std::map<std::string, std::vector<std::string>> keys;
    std::istringstream lines(text);
    std::string line, current;
    while (std::getline(lines, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line.starts_with("[")) {
            // "[name] 1796740083": the name ends at the last unescaped bracket.
            current = line.substr(1, line.rfind(']') - 1);
            keys[current];
        } else if (!current.empty() && !line.empty() && line[0] != '#') {
            keys[current].push_back(line);
        }
    }
    return keys;
}
