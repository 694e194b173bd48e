// Looking at and preparing real files, folders and registry values for the work-folder tests.
#ifndef BIOSUPDATE_TESTS_PAYLOAD_DISK_HELPERS_H
#define BIOSUPDATE_TESTS_PAYLOAD_DISK_HELPERS_H

#include <windows.h>

#include <optional>
#include <set>
#include <string>

namespace disk {

// The whole content of a file; nothing when it cannot be opened (missing, a directory, locked).
std::optional<std::string> ReadAll(const std::string& path);
bool WriteAll(const std::string& path, const std::string& content);
bool IsDirectory(const std::string& path);
bool Exists(const std::string& path);

// Names in a folder, without "." and ".."; empty when the folder does not exist.
std::set<std::string> List(const std::string& folder);

// Deletes a file or a folder with everything in it; read-only files included.
void RemoveTree(const std::string& path);

// Creates every missing folder along `path`.
bool CreateFolders(const std::string& path);

// A payload file as the build embedded it, read from the build's payload folder through Wine's
// Z: drive (the host's root); a marker text when it cannot be read.
std::string EmbeddedPayload(const std::string& name);

// The bytes of "File" resource `id` in `module`; nothing when it is missing.
std::optional<std::string> ResourceBytes(HMODULE module, unsigned id);

// The folder of the running test program.
std::string ProgramFolder();

// Points the Program Files folder elsewhere for its lifetime, and puts the old value back even
// when the test fails.
class ProgramFilesDirOverride {
public:
    explicit ProgramFilesDirOverride(const std::string& folder);
    ~ProgramFilesDirOverride();
    ProgramFilesDirOverride(const ProgramFilesDirOverride&) = delete;
    ProgramFilesDirOverride& operator=(const ProgramFilesDirOverride&) = delete;

    bool Applied() const { return m_applied; }

private:
    std::optional<std::string> m_previous;
    bool m_applied = false;
};

// Makes the program's current directory `folder` for its lifetime.
class CurrentDirectoryOverride {
public:
    explicit CurrentDirectoryOverride(const std::string& folder);
    ~CurrentDirectoryOverride();
    CurrentDirectoryOverride(const CurrentDirectoryOverride&) = delete;
    CurrentDirectoryOverride& operator=(const CurrentDirectoryOverride&) = delete;

    bool Applied() const { return m_applied; }

private:
    std::string m_previous;
    bool m_applied = false;
};

} // namespace disk

#endif
