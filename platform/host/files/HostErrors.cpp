#include "platform/host/files/HostErrors.h"

#include <cerrno>

#include "platform/WinTypes.h"

std::uint32_t WinErrorFromErrno(int error, bool folderExists) {
    switch (error) {
        case 0:
            return win::ERROR_SUCCESS;
        case ENOENT:
            return folderExists ? win::ERROR_FILE_NOT_FOUND : win::ERROR_PATH_NOT_FOUND;
        case ENOTDIR:
        case ELOOP:
            return win::ERROR_PATH_NOT_FOUND;
        case EACCES:
        case EPERM:
        case EROFS:
        case EISDIR:
        case ETXTBSY:
            return win::ERROR_ACCESS_DENIED;
        case ENOSPC:
        case EDQUOT:
        case EFBIG:
            return win::ERROR_DISK_FULL;
        case EEXIST:
            return win::ERROR_ALREADY_EXISTS;
        case ENOTEMPTY:
            return win::ERROR_DIR_NOT_EMPTY;
        case EMFILE:
        case ENFILE:
            return win::ERROR_TOO_MANY_OPEN_FILES;
        case ENOMEM:
            return win::ERROR_NOT_ENOUGH_MEMORY;
        case ENAMETOOLONG:
            return win::ERROR_FILENAME_EXCED_RANGE;
        case EWOULDBLOCK:
            return win::ERROR_SHARING_VIOLATION;
        case EBADF:
            return win::ERROR_INVALID_HANDLE;
        case EINVAL:
            return win::ERROR_INVALID_PARAMETER;
        case EOPNOTSUPP:
        case ENOSYS:
            return win::ERROR_NOT_SUPPORTED;
        case EIO:
            return win::ERROR_WRITE_FAULT;
        default:
            return win::ERROR_GEN_FAILURE;
    }
}
