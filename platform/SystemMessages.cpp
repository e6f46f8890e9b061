#include "platform/SystemMessages.h"

#include "platform/WinTypes.h"

std::string SysErrorMessage(std::uint32_t errorCode) {
    switch (errorCode) {
        case win::ERROR_SUCCESS:
            return {};
        case win::ERROR_FILE_NOT_FOUND:
            return "The system cannot find the file specified.";
        case win::ERROR_PATH_NOT_FOUND:
            return "The system cannot find the path specified.";
        case win::ERROR_TOO_MANY_OPEN_FILES:
            return "The system cannot open the file.";
        case win::ERROR_ACCESS_DENIED:
            return "Access is denied.";
        case win::ERROR_INVALID_HANDLE:
            return "The handle is invalid.";
        case win::ERROR_NOT_ENOUGH_MEMORY:
            return "Not enough storage is available to process this command.";
        case win::ERROR_INVALID_DRIVE:
            return "The system cannot find the drive specified.";
        case win::ERROR_WRITE_FAULT:
            return "The system cannot write to the specified device.";
        case win::ERROR_READ_FAULT:
            return "The system cannot read from the specified device.";
        case 31:  // ERROR_GEN_FAILURE
            return "A device attached to the system is not functioning.";
        case win::ERROR_SHARING_VIOLATION:
            return "The process cannot access the file because it is being used by another "
                   "process.";
        case win::ERROR_LOCK_VIOLATION:
            return "The process cannot access the file because another process has locked a "
                   "portion of the file.";
        case win::ERROR_HANDLE_DISK_FULL:
            return "The disk is full.";
        case win::ERROR_NOT_SUPPORTED:
            return "The request is not supported.";
        case win::ERROR_FILE_EXISTS:
            return "The file exists.";
        case win::ERROR_INVALID_PARAMETER:
            return "The parameter is incorrect.";
        case win::ERROR_DISK_FULL:
            return "There is not enough space on the disk.";
        case win::ERROR_INVALID_NAME:
            return "The filename, directory name, or volume label syntax is incorrect.";
        case win::ERROR_DIR_NOT_EMPTY:
            return "The directory is not empty.";
        case win::ERROR_ALREADY_EXISTS:
            return "Cannot create a file when that file already exists.";
        case win::ERROR_FILENAME_EXCED_RANGE:
            return "The filename or extension is too long.";
        case win::ERROR_BADKEY:
            return "The configuration registry key is invalid.";
        case win::ERROR_CANTWRITE:
            return "The configuration registry key could not be written.";
        case win::ERROR_KEY_DELETED:
            return "Illegal operation attempted on a registry key that has been marked for "
                   "deletion.";
        case win::ERROR_NO_UNICODE_TRANSLATION:
            return "No mapping for the Unicode character exists in the target multi-byte code "
                   "page.";
        case win::ERROR_NEGATIVE_SEEK:
            return "An attempt was made to move the file pointer before the beginning of the "
                   "file.";
        case win::ERROR_FILE_CORRUPT:
            return "The file or directory is corrupted and unreadable.";
        default:
            return "System error " + std::to_string(errorCode) + ".";
    }
}
