// Reads a Wine registry file (system.reg, user.reg) as the tests look at it:
// the value lines of each key, by the key's name as written in its [...] line
// (backslashes doubled), option lines (#time=...) left out.
#pragma once

#include <map>
#include <string>
#include <vector>

std::map<std::string, std::vector<std::string>> RegistryFileKeys(const std::string& text);
