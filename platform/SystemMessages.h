// The system's own sentence for a Windows system error code, as the user would
// read it from Windows ("There is not enough space on the disk.").
#pragma once

#include <cstdint>
#include <string>

// The sentence for the code, ending in a full stop; "System error N." for a
// code without one, empty for ERROR_SUCCESS.
std::string SysErrorMessage(std::uint32_t errorCode);
