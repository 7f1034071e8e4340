#include "platform/errors/errors.h"

#include <cerrno>
#include <cstring>
#include <utility>

namespace platform::errors {
namespace {

// Windows' codes, by value: this file is built on every system.
enum : std::uint32_t {
    kFileNotFound = 2,
    kPathNotFound = 3,
    kAccessDenied = 5,
    kNotEnoughMemory = 8,
    kOutOfMemory = 14,
    kInvalidDrive = 15,
    kWriteProtect = 19,
    kSharingViolation = 32,
    kLockViolation = 33,
    kHandleDiskFull = 39,
    kBadNetPath = 53,
    kFileExists = 80,
    kDiskFull = 112,
    kInvalidName = 123,
    kBadPathName = 161,
    kAlreadyExists = 183,
    kFileNameExceedsRange = 206,
    kDirectory = 267,
};

ErrorKind kindOfErrno(int code) {
    switch (code) {
        case ENOENT:
        case ENOTDIR:
            return ErrorKind::NotFound;
        case EACCES:
        case EPERM:
            return ErrorKind::AccessDenied;
        case EISDIR:
            return ErrorKind::IsADirectory;
        case EROFS:
            return ErrorKind::ReadOnly;
        case ENOSPC:
#ifdef EDQUOT  // no disk quotas in the Windows C library
        case EDQUOT:
#endif
        case EFBIG:
            return ErrorKind::NoSpace;
        case ENOMEM:
            return ErrorKind::OutOfMemory;
        default:
            return ErrorKind::Io;
    }
}

}  // namespace

Error fromErrno(std::string_view what, int code) {
    std::string reason = std::strerror(code);
    return Error{std::string(what) + ": " + reason, kindOfErrno(code), ErrorOrigin::Errno, code,
                 std::move(reason)};
}

int errnoOfWindows(std::uint32_t code) {
    switch (code) {
        case kFileNotFound:
        case kPathNotFound:
        case kInvalidName:
        case kBadPathName:
        case kInvalidDrive:
        case kBadNetPath:
            return ENOENT;
        case kAccessDenied:
        case kWriteProtect:
        case kSharingViolation:
        case kLockViolation:
            return EACCES;
        case kFileExists:
        case kAlreadyExists:
            return EEXIST;
        case kDirectory:
            return ENOTDIR;
        case kDiskFull:
        case kHandleDiskFull:
            return ENOSPC;
        case kNotEnoughMemory:
        case kOutOfMemory:
            return ENOMEM;
        case kFileNameExceedsRange:
            return ENAMETOOLONG;
        default:
            return 0;
    }
}

bool isInUse(std::uint32_t code) {
    return code == kSharingViolation || code == kLockViolation;
}

Error fromWindows(std::string_view what, std::uint32_t code) {
    const int equivalent = errnoOfWindows(code);
    std::string reason = isInUse(code) ? "it is in use by another process"
                         : equivalent  ? std::strerror(equivalent)
                                       : windowsText(code);
    return Error{std::string(what) + ": " + reason,
                 equivalent ? kindOfErrno(equivalent) : ErrorKind::Io, ErrorOrigin::Windows,
                 static_cast<int>(code), std::move(reason)};
}

}  // namespace platform::errors
