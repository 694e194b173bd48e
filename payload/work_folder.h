// The work folder under Program Files: writing the flash utility and the BIOS image into it from
// the executable's "File" resources, and removing them again. All of it runs on the main thread;
// what lies on disk is the only state. When the Program Files folder is unknown, its path too
// long for the fixed path buffers, or the work folder not the program's own, every routine does
// nothing at all.
#pragma once

#include "afx.h"

#include <windows.h>

namespace payload {

// Fills `buffer` with the Program Files folder as the shell names it to this process. Returns
// false, with `buffer` all zeros, when the shell cannot name it.
bool GetProgramFilesPath(char (&buffer)[MAX_PATH]);

// Fills `buffer` with the Program Files folder followed by "\BIOSUPDATE". Returns false, with
// `buffer` all zeros, when the shell cannot name the Program Files folder or the path is too long
// to hold the payload's file names.
bool GetWorkFolderPath(char (&buffer)[MAX_PATH]);

// True for a directory (or, with `directory` false, a file) that is neither a junction nor a
// symbolic link, which would lead the program's writes, deletions or the utility elsewhere.
bool IsPlainEntry(DWORD attributes, bool directory);

// GetWorkFolderPath, and true only when the folder exists and is the program's own: a plain
// directory, not a file. Every routine here writes, deletes and starts only in such a folder.
bool GetOwnWorkFolder(char (&buffer)[MAX_PATH]);

// True when anything, a directory included, matches `path`.
bool FileExists(const char* path);

// Writes "File" resource `id` of the resource module to `path`, replacing an existing file.
// Returns 0 when the resource exists but is empty (nothing written), 1 in every other case,
// whether or not a file was written. A file that cannot be created or written completely
// raises CFileException, which is left to the caller.
int WriteResourceFile(UINT id, const char* path);

// Creates the work folder and writes the flash utility's eight files into it.
void ExtractUtilityFiles();

// Creates the work folder, sets `imageFile` to the image's file name and writes the image.
void ExtractBiosImage(CString& imageFile);

// Deletes the listed work files and then the work folder if it is empty. Never deletes the
// utility's backup.
void CleanUpWorkFolder();

// The end of a run: clean-up first, then the utility's backup, so that a run which left a backup
// keeps its work folder, empty, until a later clean-up.
void FinishUpdateRun();

} // namespace payload
