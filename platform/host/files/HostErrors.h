// The Windows system error code for a failed host call: the one table from errno
// to Windows' codes, for every host library.
#pragma once

#include <cstdint>

// errno to win::ERROR_*. ENOENT names a missing file when the folder it should
// be in exists (ERROR_FILE_NOT_FOUND), else a missing path (ERROR_PATH_NOT_FOUND).
std::uint32_t WinErrorFromErrno(int error, bool folderExists = true);
