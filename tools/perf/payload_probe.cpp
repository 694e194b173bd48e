// Payload writing: the program's two extraction steps (the utility's files, then the image) into
// the work folder, against CopyFileA copying the same files from a folder of their own. Each
// repetition empties the work folder first, untimed, and the two take turns going first.
#include "probe.h"

#include "payload/work_folder.h"

#include <string>

namespace perf {

namespace {

const char kSourceFolder[] = "C:\\perf-source";

std::string WorkFolder() {
    char folder[MAX_PATH];
    payload::GetWorkFolderPath(folder);
    return folder;
}

// The files in `folder`, without subfolders, and their total size.
std::vector<std::string> FilesIn(const std::string& folder, double* bytes) {
    std::vector<std::string> names;
    WIN32_FIND_DATAA found;
    const HANDLE find = ::FindFirstFileA((folder + "\\*").c_str(), &found);
    if (find == INVALID_HANDLE_VALUE) {
        return names;
    }
    *bytes = 0;
    do {
        if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
            names.emplace_back(found.cFileName);
            *bytes += static_cast<double>(found.nFileSizeLow);
        }
    } while (::FindNextFileA(find, &found));
    ::FindClose(find);
    return names;
}

double ProgramWrites() {
    payload::CleanUpWorkFolder();
    const Stopwatch clock;
    payload::ExtractUtilityFiles();
    CString image;
    payload::ExtractBiosImage(image);
    return clock.ElapsedMs();
}

double CopiesWrite(const std::string& work, const std::vector<std::string>& names) {
    payload::CleanUpWorkFolder();
    const Stopwatch clock;
    ::CreateDirectoryA(work.c_str(), nullptr);
    for (const std::string& name : names) {
        ::CopyFileA((std::string(kSourceFolder) + "\\" + name).c_str(),
                    (work + "\\" + name).c_str(), FALSE);
    }
    return clock.ElapsedMs();
}

} // namespace

void RunPayload(Results& results, int repetitions) {
    const std::string work = WorkFolder();
    // The first write also makes the files that the copies copy.
    ProgramWrites();
    double bytes = 0;
    const std::vector<std::string> names = FilesIn(work, &bytes);
    ::CreateDirectoryA(kSourceFolder, nullptr);
    for (const std::string& name : names) {
        ::CopyFileA((work + "\\" + name).c_str(),
                    (std::string(kSourceFolder) + "\\" + name).c_str(), FALSE);
    }
    std::vector<double> program;
    std::vector<double> copies;
    for (int repetition = 0; repetition < repetitions; ++repetition) {
        if (repetition % 2 == 0) {
            program.push_back(ProgramWrites());
            copies.push_back(CopiesWrite(work, names));
        } else {
            copies.push_back(CopiesWrite(work, names));
            program.push_back(ProgramWrites());
        }
    }
    payload::CleanUpWorkFolder();
    results.Value("payload_files", static_cast<double>(names.size()));
    results.Value("payload_bytes", bytes);
    results.Samples("payload_program_ms", program);
    results.Samples("payload_copy_ms", copies);
}

} // namespace perf
