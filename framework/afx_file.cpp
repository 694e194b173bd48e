#include "afx_file.h"

#include <cstring>

namespace {

constexpr UINT kAccessMask = 0x0003;
constexpr UINT kShareMask = 0x0070;

[[noreturn]] void ThrowLastError(const char* fileName) {
    const LONG osError = static_cast<LONG>(::GetLastError());
    AfxThrowFileException(CFileException::OsErrorToException(osError), osError, fileName);
}

bool AccessFor(UINT openFlags, DWORD& access) {
    switch (openFlags & kAccessMask) {
    case CFile::modeRead:
        access = GENERIC_READ;
        return true;
    case CFile::modeWrite:
        access = GENERIC_WRITE;
        return true;
    case CFile::modeReadWrite:
        access = GENERIC_READ | GENERIC_WRITE;
        return true;
    default:
        return false;
    }
}

bool ShareModeFor(UINT openFlags, DWORD& shareMode) {
    switch (openFlags & kShareMask) {
    case CFile::shareCompat:
    case CFile::shareExclusive:
        shareMode = 0;
        return true;
    case CFile::shareDenyWrite:
        shareMode = FILE_SHARE_READ;
        return true;
    case CFile::shareDenyRead:
        shareMode = FILE_SHARE_WRITE;
        return true;
    case CFile::shareDenyNone:
        shareMode = FILE_SHARE_READ | FILE_SHARE_WRITE;
        return true;
    default:
        return false;
    }
}

DWORD CreationFor(UINT openFlags) {
    if ((openFlags & CFile::modeCreate) == 0) {
        return OPEN_EXISTING;
    }
    return (openFlags & CFile::modeNoTruncate) != 0 ? OPEN_ALWAYS : CREATE_ALWAYS;
}

} // namespace

CFile::CFile(const char* fileName, UINT openFlags) {
    CFileException error;
    if (!Open(fileName, openFlags, &error)) {
        throw error;
    }
}

CFile::~CFile() = default;

BOOL CFile::Open(const char* fileName, UINT openFlags, CFileException* error) {
    m_file.Reset();
    m_strFileName = fileName;

    DWORD access = 0;
    DWORD shareMode = 0;
    DWORD osError = ERROR_SUCCESS;
    if (fileName == nullptr || *fileName == '\0') {
        osError = ERROR_INVALID_NAME;
    } else if (!AccessFor(openFlags, access) || !ShareModeFor(openFlags, shareMode)) {
        osError = ERROR_INVALID_PARAMETER;
    } else {
        SECURITY_ATTRIBUTES security{};
        security.nLength = sizeof(security);
        security.bInheritHandle = (openFlags & modeNoInherit) != 0 ? FALSE : TRUE;
        const HANDLE file = ::CreateFileA(fileName, access, shareMode, &security,
                                          CreationFor(openFlags), FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file == INVALID_HANDLE_VALUE) {
            osError = ::GetLastError();
        } else {
            m_file.Reset(file);
        }
    }
    if (osError == ERROR_SUCCESS) {
        return TRUE;
    }
    if (error != nullptr) {
        const LONG code = static_cast<LONG>(osError);
        *error = CFileException(CFileException::OsErrorToException(code), code, fileName);
    }
    return FALSE;
}

void CFile::Write(const void* data, UINT count) {
    if (count == 0) {
        return;
    }
    if (!m_file) {
        AfxThrowFileException(CFileException::invalidFile, ERROR_INVALID_HANDLE, m_strFileName);
    }
    DWORD written = 0;
    if (!::WriteFile(m_file.Get(), data, count, &written, nullptr)) {
        ThrowLastError(m_strFileName);
    }
    if (written < count) {
        AfxThrowFileException(CFileException::diskFull, ERROR_DISK_FULL, m_strFileName);
    }
}

void CFile::Close() {
    if (!m_file) {
        return;
    }
    if (!::CloseHandle(m_file.Release())) {
        ThrowLastError(m_strFileName);
    }
}

BOOL CFileFind::FindFile(const char* pattern) {
    Close();
    m_find.Reset(::FindFirstFileA(pattern != nullptr ? pattern : "*.*", &m_next));
    m_hasNext = static_cast<bool>(m_find);
    return m_hasNext ? TRUE : FALSE;
}

BOOL CFileFind::FindNextFile() {
    if (!m_hasNext) {
        return FALSE;
    }
    m_current = m_next;
    m_hasCurrent = true;
    m_hasNext = ::FindNextFileA(m_find.Get(), &m_next) != FALSE;
    return m_hasNext ? TRUE : FALSE;
}

BOOL CFileFind::IsDots() const {
    if (!IsDirectory()) {
        return FALSE;
    }
    const char* name = m_current.cFileName;
    return std::strcmp(name, ".") == 0 || std::strcmp(name, "..") == 0 ? TRUE : FALSE;
}

BOOL CFileFind::IsDirectory() const {
    return m_hasCurrent && (m_current.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0 ? TRUE
                                                                                        : FALSE;
}

CString CFileFind::GetFileName() const {
    return m_hasCurrent ? CString(m_current.cFileName) : CString();
}

void CFileFind::Close() {
    m_find.Reset();
    m_hasNext = false;
    m_hasCurrent = false;
}
