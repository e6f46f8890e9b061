// Checks made before the program touches the machine.
#pragma once

#include <string>
#include <vector>

struct TInstallationPars;

// The WINEPREFIX variable as Wine takes it: unset or empty means ~/.wine; a
// relative path is refused (Wine refuses it too), rather than quietly using
// another prefix. Throws Exception with a message for the user.
void CheckWinePrefixVariable(const char* value);

// The exit code of the wizard once its event loop returned `loopResult`:
// ExitFailedPartWay when its last installation run failed after changing the
// machine (files copied, their entries missing), else the loop's result.
int WizardExitCode(int loopResult, const TInstallationPars& pars);

// When the program's own file lies on the disk of the source folders (the same
// mounted file system as the first of them, where that is neither the one
// holding "/" nor the one holding the user's home), its running image would
// hold that disk mounted. Then Setup copies itself into a private temporary
// folder and runs on from the copy (exec, same arguments, same folder); the copy
// removes itself and its folder as it starts, so that nothing is left whatever
// way it ends. Returns (nothing done) when the program is not on the disk, when
// it already runs from its copy, or when the copy cannot be made.
void RunFromPrivateCopyWhenOnTheDisk(char** argv, const std::vector<std::string>& sources);
