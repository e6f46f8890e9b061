#include "app/StartUp.h"

#include <filesystem>
#include <stdexcept>

void CheckWinePrefixVariable(const char* value) {
    if (value == nullptr || *value == '\0') return;
    if (!std::filesystem::path(value).is_absolute())
        throw std::runtime_error(std::string("WINEPREFIX must be an absolute path; it is \"") +
                                 value + "\".");
}
