// Checks made before the program touches the machine.
#pragma once

#include <string>

struct TSetupPars;

// The WINEPREFIX variable as Wine takes it: unset or empty means ~/.wine; a
// relative path is refused (Wine refuses it too), rather than quietly using
// another prefix. Throws Exception with a message for the user.
void CheckWinePrefixVariable(const char* value);

// The exit code of the wizard once its event loop returned `loopResult`:
// ExitFailedPartWay when its last installation run failed after changing the
// machine (files copied, their entries missing), else the loop's result.
int WizardExitCode(int loopResult, const TSetupPars& pars);
