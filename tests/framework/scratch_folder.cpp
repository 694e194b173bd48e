#include "scratch_folder.h"

#include <windows.h>

#include <fstream>
#include <iterator>
#include <sstream>
#include <stdexcept>

namespace {

void RemoveTree(const std::string& path) {
    WIN32_FIND_DATAA found{};
    const HANDLE search = ::FindFirstFileA((path + "\\*").c_str(), &found);
    if (search != INVALID_HANDLE_VALUE) {
        do {
            const std::string name = found.cFileName;
            if (name == "." || name == "..") {
                continue;
            }
            const std::string child = path + "\\" + name;
            ::SetFileAttributesA(child.c_str(), FILE_ATTRIBUTE_NORMAL);
            if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
                RemoveTree(child);
            } else {
                ::DeleteFileA(child.c_str());
            }
        } while (::FindNextFileA(search, &found));
        ::FindClose(search);
    }
    ::RemoveDirectoryA(path.c_str());
}

} // namespace

ScratchFolder::ScratchFolder() {
    char temporary[MAX_PATH] = {};
    ::GetTempPathA(MAX_PATH, temporary);
    std::ostringstream path;
    path << temporary << "afx-test-" << ::GetCurrentProcessId() << "-" << ::GetTickCount();
    for (int suffix = 0; suffix < 100; ++suffix) {
        m_path = path.str() + "-" + std::to_string(suffix);
        if (::CreateDirectoryA(m_path.c_str(), nullptr)) {
            return;
        }
    }
    throw std::runtime_error("no scratch folder could be created under " + std::string(temporary));
}

ScratchFolder::~ScratchFolder() {
    RemoveTree(m_path);
}

void ScratchFolder::WriteFile(const std::string& name, const std::string& content) const {
    std::ofstream(PathOf(name), std::ios::binary) << content;
}

std::string ScratchFolder::ReadFile(const std::string& name) const {
    std::ifstream file(PathOf(name), std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

void ScratchFolder::MakeFolder(const std::string& name) const {
    ::CreateDirectoryA(PathOf(name).c_str(), nullptr);
}
