// The framework's exceptions, thrown by value and caught as const CException&, and its message box.
#pragma once

#include <windows.h>

#include "afx_string.h"

class CException {
public:
    CException() = default;
    CException(const CException&) = default;
    CException& operator=(const CException&) = default;
    virtual ~CException() = default;

    virtual CString GetErrorMessage() const = 0;
    // Shows the error message in the application's message box.
    virtual void ReportError() const;
};

class CFileException : public CException {
public:
    enum {
        none,
        genericException,
        fileNotFound,
        badPath,
        tooManyOpenFiles,
        accessDenied,
        invalidFile,
        removeCurrentDir,
        directoryFull,
        badSeek,
        hardIO,
        sharingViolation,
        lockViolation,
        diskFull,
        endOfFile
    };

    explicit CFileException(int cause = none, LONG osError = -1, const char* fileName = nullptr);

    // The standard text for the cause, with the file name in place of %1.
    CString GetErrorMessage() const override;

    // The cause that a Win32 error code stands for; genericException for codes it does not know.
    static int OsErrorToException(LONG osError);

    int m_cause;
    LONG m_lOsError;
    CString m_strFileName;
};

class CMemoryException : public CException {
public:
    CString GetErrorMessage() const override;
    // System-modal: memory is short, so the box must not depend on an owner window.
    void ReportError() const override;
};

[[noreturn]] void AfxThrowFileException(int cause, LONG osError = -1,
                                        const char* fileName = nullptr);
[[noreturn]] void AfxThrowMemoryException();

// A message box captioned with the application name, owned by the main window when there is one;
// MB_ICONEXCLAMATION is added when `type` names no icon.
int AfxMessageBox(const char* text, UINT type = MB_OK, UINT helpId = 0);
