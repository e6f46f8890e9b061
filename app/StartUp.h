// Checks made before the program touches the machine.
#pragma once

#include <string>

// The WINEPREFIX variable as Wine takes it: unset or empty means ~/.wine; a
// relative path is refused (Wine refuses it too), rather than quietly using
// another prefix. Throws std::runtime_error with a message for the user.
void CheckWinePrefixVariable(const char* value);
