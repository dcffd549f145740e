#pragma once
// Failures are exceptions that carry a message; ClassName names their kind for
// the start-up error box.
#include <windows.h>

#include <exception>
#include <string>

class Exception : public std::exception {
public:
    explicit Exception(std::string message) : FMessage(std::move(message)) {}
    const std::string& Message() const { return FMessage; }
    const char* what() const noexcept override { return FMessage.c_str(); }
    virtual const char* ClassName() const { return "Exception"; }

private:
    std::string FMessage;
};

// A failed operating-system call: "System Error.  Code: %d." CR LF system text.
class EOSError : public Exception {
public:
    explicit EOSError(DWORD code);
    DWORD ErrorCode() const { return FErrorCode; }
    const char* ClassName() const override { return "EOSError"; }

private:
    DWORD FErrorCode;
};

class EListError : public Exception {
public:
    explicit EListError(int index);
    const char* ClassName() const override { return "EListError"; }
};

class EDatabaseError : public Exception {
public:
    using Exception::Exception;
    const char* ClassName() const override { return "EDatabaseError"; }
};

// A write that changed no row: the row was deleted or changed behind the
// program's back, or the file refused it silently.
class EDatabaseRowGone : public EDatabaseError {
public:
    using EDatabaseError::EDatabaseError;
    const char* ClassName() const override { return "EDatabaseRowGone"; }
};

class ERegistryException : public Exception {
public:
    using Exception::Exception;
    const char* ClassName() const override { return "ERegistryException"; }
};

class EConvertError : public Exception {
public:
    using Exception::Exception;
    const char* ClassName() const override { return "EConvertError"; }
};

// The system's own text for an error code, without trailing blanks and dots.
std::string SysErrorMessage(DWORD code);
// Raises EOSError for GetLastError().
[[noreturn]] void RaiseLastOSError();
