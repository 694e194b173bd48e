// profiler.exe [FILE]: writes the profile of this notebook, what BIOSUpdate.exe reads here, as
// JSON for the bench. Without FILE it writes notebook.json (notebook-2.json, ... when taken) in
// the current folder, or in the user's documents where the current folder cannot be written.
// A message box says where it wrote or why it could not. Exit status: 0 written, 1 not written,
// 2 bad usage.
#include "profile.h"

#include "afx.h"

#include <shlobj.h>

#include <string>

namespace {

enum ExitStatus { kWritten = 0, kNotWritten = 1, kBadUsage = 2 };

const char kCaption[] = "Notebook profile";
const char kDefaultName[] = "notebook";
// notebook.json to notebook-99.json: profiles of several notebooks on one stick.
constexpr int kMostNumbered = 99;
const char kUsage[] =
    "profiler.exe [FILE]\n\n"
    "Writes the profile of this notebook (what BIOSUpdate reads here) to FILE, or else to "
    "notebook.json in the current folder or in your documents.";

// Writes `text` into a file it creates at `path` as `disposition` says; 0 or the Win32 error.
// A file that could not be written whole is removed.
DWORD WriteText(const std::string& path, const std::string& text, DWORD disposition) {
    DWORD error = ERROR_SUCCESS;
    {
        const KernelHandle file(::CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, disposition,
                                              FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!file) {
            return ::GetLastError();
        }
        DWORD written = 0;
        if (!::WriteFile(file.Get(), text.data(), static_cast<DWORD>(text.size()), &written,
                         nullptr)) {
            error = ::GetLastError();
        } else if (written != text.size()) {
            error = ERROR_HANDLE_DISK_FULL;
        }
    }
    if (error != ERROR_SUCCESS) {
        ::DeleteFileA(path.c_str());
    }
    return error;
}

// Writes into the first free name of notebook.json, notebook-2.json, ... in `folder` (empty: the
// current folder, else ending in a separator); `path` names the file written or last tried.
DWORD WriteNumbered(const std::string& folder, const std::string& text, std::string& path) {
    DWORD error = ERROR_FILE_EXISTS;
    for (int number = 1; number <= kMostNumbered && error == ERROR_FILE_EXISTS; ++number) {
        path = folder + kDefaultName + (number > 1 ? "-" + std::to_string(number) : "") + ".json";
        error = WriteText(path, text, CREATE_NEW);
    }
    return error;
}

std::string DocumentsFolder() {
    char folder[MAX_PATH] = {};
    if (FAILED(::SHGetFolderPathA(nullptr, CSIDL_PERSONAL, nullptr, SHGFP_TYPE_CURRENT, folder)) ||
        folder[0] == '\0') {
        return std::string();
    }
    return std::string(folder) + "\\";
}

std::string FullPath(const std::string& path) {
    char full[MAX_PATH] = {};
    const DWORD length = ::GetFullPathNameA(path.c_str(), MAX_PATH, full, nullptr);
    return length > 0 && length < MAX_PATH ? std::string(full) : path;
}

std::string Reason(DWORD error) {
    char text[512] = {};
    ::FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS |
                         FORMAT_MESSAGE_MAX_WIDTH_MASK,
                     nullptr, error, 0, text, sizeof text, nullptr);
    std::string reason(text);
    reason.erase(reason.find_last_not_of(" \r\n") + 1);
    return reason + (reason.empty() ? "" : " ") + "(error " + std::to_string(error) + ")";
}

// The command line's one argument, quoted or not; blanks around it do not count.
std::string Argument(const char* commandLine) {
    std::string text(commandLine != nullptr ? commandLine : "");
    const size_t first = text.find_first_not_of(" \t");
    if (first == std::string::npos) {
        return std::string();
    }
    text = text.substr(first, text.find_last_not_of(" \t") - first + 1);
    if (text.size() >= 2 && text.front() == '"' && text.back() == '"') {
        text = text.substr(1, text.size() - 2);
    }
    return text;
}

class CProfilerApp : public CWinApp {
public:
    BOOL InitInstance() override {
        CWinApp::InitInstance();
        m_exitStatus = Profile(Argument(m_lpCmdLine));
        return FALSE;
    }

    int ExitInstance() override { return m_exitStatus; }

private:
    static int Profile(const std::string& argument) {
        if (argument == "/?") {
            ::MessageBoxA(nullptr, kUsage, kCaption, MB_OK | MB_ICONINFORMATION);
            return kWritten;
        }
        if (argument.find('"') != std::string::npos || (!argument.empty() && argument[0] == '/')) {
            ::MessageBoxA(nullptr, kUsage, kCaption, MB_OK | MB_ICONERROR);
            return kBadUsage;
        }
        const std::string profile = ReadProfile();
        std::string path = argument;
        DWORD error = ERROR_SUCCESS;
        std::string tried;
        if (!argument.empty()) {
            error = WriteText(path, profile, CREATE_ALWAYS);
        } else {
            error = WriteNumbered(std::string(), profile, path);
            const std::string documents = DocumentsFolder();
            if (error != ERROR_SUCCESS && !documents.empty()) {
                tried =
                    "It could not be written to " + FullPath(path) + ": " + Reason(error) + "\n\n";
                error = WriteNumbered(documents, profile, path);
            }
        }
        if (error != ERROR_SUCCESS) {
            const std::string text = tried + "The profile could not be written to " +
                                     FullPath(path) + ": " + Reason(error);
            ::MessageBoxA(nullptr, text.c_str(), kCaption, MB_OK | MB_ICONERROR);
            return kNotWritten;
        }
        const std::string text =
            "The profile of this notebook was written to\n" + FullPath(path) +
            "\n\nIt holds only what BIOSUpdate reads: the BIOS version, the power state, the "
            "system locale and code page, the Program Files folder, the screen size and the "
            "Windows version.";
        ::MessageBoxA(nullptr, text.c_str(), kCaption, MB_OK | MB_ICONINFORMATION);
        return kWritten;
    }

    int m_exitStatus = kNotWritten;
};

CProfilerApp theApp;

} // namespace
