#include "app/StartUp.h"

#include <filesystem>
#include <stdexcept>

#include "app/ExitCodes.h"
#include "install/Unit_Installation.h"
#include "platform/Exceptions.h"

void CheckWinePrefixVariable(const char* value) {
    if (value == nullptr || *value == '\0') return;
    if (!std::filesystem::path(value).is_absolute())
        throw Exception(std::string("WINEPREFIX must be an absolute path; it is \"") + value +
                        "\".");
}

int WizardExitCode(int loopResult, const TSetupPars& pars) {
    return pars.FailedPartWay ? ExitFailedPartWay : loopResult;
}
