// The error classes of the system. Every error is an exception derived from
// Exception; its message is the text shown to the user, its class name is what
// the fatal error report names.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>

class Exception : public std::runtime_error {
  public:
    explicit Exception(const std::string& message) : std::runtime_error(message) {}
    std::string Message() const { return what(); }
    virtual const char* ClassName() const { return "Exception"; }
};

// A failed file operation of a text file (the install log): carries the OS error code.
class EInOutError : public Exception {
  public:
    explicit EInOutError(std::uint32_t errorCode);
    std::uint32_t ErrorCode() const { return errorCode_; }
    const char* ClassName() const override { return "EInOutError"; }

  private:
    std::uint32_t errorCode_;
};

class EStreamError : public Exception {
  public:
    using Exception::Exception;
    const char* ClassName() const override { return "EStreamError"; }
};

// "Cannot open file %s"
class EFOpenError : public EStreamError {
  public:
    explicit EFOpenError(const std::string& fileName);
    const char* ClassName() const override { return "EFOpenError"; }
};

// "Cannot create file %s"
class EFCreateError : public EStreamError {
  public:
    explicit EFCreateError(const std::string& fileName);
    const char* ClassName() const override { return "EFCreateError"; }
};

// "Stream read error"
class EReadError : public EStreamError {
  public:
    EReadError();
    const char* ClassName() const override { return "EReadError"; }
};

// "Stream write error"; when the failure is known, a second line gives the
// system's reason and the file: "There is not enough space on the disk. (C:\...)".
class EWriteError : public EStreamError {
  public:
    EWriteError();
    EWriteError(std::uint32_t errorCode, const std::string& fileName);
    const char* ClassName() const override { return "EWriteError"; }
    std::uint32_t ErrorCode() const { return errorCode_; }  // 0 when not known

  private:
    std::uint32_t errorCode_ = 0;
};

// A data volume whose content cannot be what the set's format allows.
class EDamagedVolume : public Exception {
  public:
    using Exception::Exception;
    const char* ClassName() const override { return "EDamagedVolume"; }
};

class ERegistryException : public Exception {
  public:
    using Exception::Exception;
    const char* ClassName() const override { return "ERegistryException"; }
};

// A failed COM call: the system's text for the result, or "OLE error %.8x".
class EOleSysError : public Exception {
  public:
    EOleSysError(const std::string& message, std::int32_t errorCode)
        : Exception(message), errorCode_(errorCode) {}
    explicit EOleSysError(std::int32_t errorCode);
    std::int32_t ErrorCode() const { return errorCode_; }
    const char* ClassName() const override { return "EOleSysError"; }

  private:
    std::int32_t errorCode_;
};

// "Interface not supported"
class EIntfCastError : public Exception {
  public:
    EIntfCastError();
    const char* ClassName() const override { return "EIntfCastError"; }
};

// Fills "%s" (or "%d") placeholders in order; "%%" stands for one percent sign.
std::string Format(const std::string& pattern, std::initializer_list<std::string> arguments);
