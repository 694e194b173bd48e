// Binary files and folder searches.
#pragma once

#include <windows.h>

#include "afx_exception.h"
#include "afx_handle.h"
#include "afx_string.h"

class CFile {
public:
    enum OpenFlags : UINT {
        modeRead = 0x0000,
        modeWrite = 0x0001,
        modeReadWrite = 0x0002,
        shareCompat = 0x0000,
        shareExclusive = 0x0010,
        shareDenyWrite = 0x0020,
        shareDenyRead = 0x0030,
        shareDenyNone = 0x0040,
        modeNoInherit = 0x0080,
        modeCreate = 0x1000,
        modeNoTruncate = 0x2000,
        typeText = 0x4000,
        typeBinary = 0x8000
    };

    CFile() = default;
    // Throws CFileException (cause from GetLastError, the path as file name) when it cannot open.
    CFile(const char* fileName, UINT openFlags);
    // Closes without throwing.
    ~CFile();
    CFile(const CFile&) = delete;
    CFile& operator=(const CFile&) = delete;

    // FALSE on failure, with the cause and path in `error` when one is given.
    BOOL Open(const char* fileName, UINT openFlags, CFileException* error = nullptr);
    // Throws CFileException; writing fewer bytes than asked counts as a full disk.
    void Write(const void* data, UINT count);
    // Throws CFileException when the system reports the close as failed.
    void Close();

    HANDLE GetHandle() const { return m_file.Get(); }
    const CString& GetFilePath() const { return m_strFileName; }

private:
    KernelHandle m_file;
    CString m_strFileName;
};

class CFileFind {
public:
    CFileFind() = default;
    CFileFind(const CFileFind&) = delete;
    CFileFind& operator=(const CFileFind&) = delete;

    // Starts a search ("*.*" when `pattern` is null); the first match becomes current only after
    // FindNextFile.
    BOOL FindFile(const char* pattern = nullptr);
    // Moves to the next match; returns FALSE when that match is the last one, which is
    // nevertheless current.
    BOOL FindNextFile();
    BOOL IsDots() const;
    BOOL IsDirectory() const;
    CString GetFileName() const;
    void Close();

private:
    FindHandle m_find;
    WIN32_FIND_DATAA m_next{};    // the match FindNextFile moves to
    WIN32_FIND_DATAA m_current{}; // the current match
    bool m_hasNext = false;
    bool m_hasCurrent = false;
};
