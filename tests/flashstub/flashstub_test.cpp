// The stand-in flash utility, run under Wine as the program runs it: in a folder that also holds
// placeholder "msvcrt.dll" and "mfc42.dll" files, hidden, waited for.
#include "file_bytes.h"
#include "pe_file.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <sstream>
#include <string>
#include <vector>

namespace {

const char kStub[] = BIOSUPDATE_FLASHSTUB;
const char kSwitches[] = "/BU=BIOS.bak /C /MFG /P /S /V /mode=2";
const char* const kVariables[] = {"BIOSUPDATE_STUB_RECORD", "BIOSUPDATE_STUB_DELAY_MS",
                                  "BIOSUPDATE_STUB_EXIT_CODE"};

struct HandleCloser {
    void operator()(HANDLE handle) const { CloseHandle(handle); }
};
using UniqueHandle = std::unique_ptr<void, HandleCloser>;

void WriteFileBytes(const std::string& path, const std::string& contents) {
    UniqueHandle file(CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                  FILE_ATTRIBUTE_NORMAL, nullptr));
    ASSERT_NE(file.get(), INVALID_HANDLE_VALUE) << path;
    DWORD written = 0;
    ASSERT_TRUE(WriteFile(file.get(), contents.data(), static_cast<DWORD>(contents.size()),
                          &written, nullptr));
    ASSERT_EQ(written, contents.size());
}

std::string ReadText(const std::string& path) {
    Bytes bytes = ReadFileBytes(path);
    return std::string(bytes.begin(), bytes.end());
}

std::set<std::string> FilesIn(const std::string& folder) {
    std::set<std::string> names;
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA((folder + "\\*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) {
        return names;
    }
    do {
        if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) {
            names.insert(found.cFileName);
        }
    } while (FindNextFileA(search, &found));
    FindClose(search);
    return names;
}

// CRC-32 of zlib, bit by bit: a second implementation to check the stand-in's table-driven one.
std::string Crc32(const std::string& data) {
    std::uint32_t crc = 0xFFFFFFFFu;
    for (unsigned char byte : data) {
        crc ^= byte;
        for (int bit = 0; bit < 8; ++bit) {
            crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
        }
    }
    char text[9];
    wsprintfA(text, "%08X", static_cast<unsigned>(~crc));
    return text;
}

// One "[run]" record: its key=value lines in order, and whether its "end" line came.
struct Record {
    std::vector<std::pair<std::string, std::string>> lines;
    bool complete = false;

    std::vector<std::string> All(const std::string& key) const {
        std::vector<std::string> values;
        for (const auto& [line_key, value] : lines) {
            if (line_key == key) {
                values.push_back(value);
            }
        }
        return values;
    }
    std::optional<std::string> Value(const std::string& key) const {
        std::vector<std::string> values = All(key);
        return values.size() == 1 ? std::optional<std::string>(values[0]) : std::nullopt;
    }
};

std::vector<Record> ParseRecords(const std::string& text) {
    std::vector<Record> records;
    std::istringstream stream(text);
    for (std::string line; std::getline(stream, line);) {
        if (line.empty() || line.back() != '\r') {
            ADD_FAILURE() << "line not ended by CR LF: " << line;
        } else {
            line.pop_back();
        }
        if (line == "[run]") {
            records.emplace_back();
        } else if (records.empty() || records.back().complete) {
            ADD_FAILURE() << "line outside a record: " << line;
        } else if (line == "end") {
            records.back().complete = true;
        } else {
            std::size_t equals = line.find('=');
            EXPECT_NE(equals, std::string::npos) << line;
            records.back().lines.emplace_back(
                line.substr(0, equals), equals == std::string::npos ? "" : line.substr(equals + 1));
        }
    }
    return records;
}

// The process's environment variables of the stand-in, set for one test and restored after.
class ScopedVariable {
public:
    ScopedVariable(const char* name, const char* value) : m_name(name) {
        SetEnvironmentVariableA(name, value);
    }
    ~ScopedVariable() { SetEnvironmentVariableA(m_name, nullptr); }
    ScopedVariable(const ScopedVariable&) = delete;
    ScopedVariable& operator=(const ScopedVariable&) = delete;

private:
    const char* m_name;
};

struct Outcome {
    bool started = false;
    DWORD exit_code = 0;
};

class FlashStub : public testing::Test {
protected:
    void SetUp() override {
        for (const char* name : kVariables) {
            SetEnvironmentVariableA(name, nullptr);
        }
        char temp[MAX_PATH];
        ASSERT_GT(GetTempPathA(sizeof temp, temp), 0u);
        m_root = std::string(temp) + "flashstub-" + std::to_string(GetCurrentProcessId()) + "-" +
                 testing::UnitTest::GetInstance()->current_test_info()->name();
        ASSERT_TRUE(CreateDirectoryA(m_root.c_str(), nullptr)) << m_root;
        m_record = m_root + "\\record.txt";
        UseFolder("work");
    }

    void TearDown() override { RemoveTree(m_root); }

    // Makes <root>\<name> the folder the stand-in runs in, with its neighbours and an image.
    void UseFolder(const std::string& name) {
        m_folder = m_root + "\\" + name;
        ASSERT_TRUE(CreateDirectoryA(m_folder.c_str(), nullptr)) << m_folder;
        ASSERT_TRUE(CopyFileA(kStub, Path("SWinFlash.exe").c_str(), TRUE)) << kStub;
        // Files that Windows would load in place of the system's own, were they imported.
        WriteFileBytes(Path("msvcrt.dll"), "placeholder, not a library");
        WriteFileBytes(Path("mfc42.dll"), "placeholder, not a library");
        WriteFileBytes(Path("MIRTSF13.IMC"), m_image);
    }

    std::string Path(const std::string& name) const { return m_folder + "\\" + name; }

    // The command line as the program builds it: the executable's path unquoted.
    std::string LauncherCommandLine() const {
        return Path("SWinFlash.exe") + " " + kSwitches + " MIRTSF13.IMC";
    }

    Outcome Run(const std::string& command_line, DWORD* still_running_after = nullptr) {
        std::vector<char> writable(command_line.begin(), command_line.end());
        writable.push_back('\0');
        STARTUPINFOA startup{};
        startup.cb = sizeof startup;
        PROCESS_INFORMATION process{};
        Outcome outcome;
        outcome.started =
            CreateProcessA(nullptr, writable.data(), nullptr, nullptr, FALSE, CREATE_NO_WINDOW,
                           nullptr, m_folder.c_str(), &startup, &process) != FALSE;
        if (!outcome.started) {
            return outcome;
        }
        UniqueHandle process_handle(process.hProcess);
        UniqueHandle thread_handle(process.hThread);
        if (still_running_after) {
            *still_running_after = WaitForSingleObject(process.hProcess, *still_running_after);
        }
        // Bounded, so a stand-in that hangs fails the test instead of stalling the suite.
        EXPECT_EQ(WaitForSingleObject(process.hProcess, 60000), WAIT_OBJECT_0);
        GetExitCodeProcess(process.hProcess, &outcome.exit_code);
        return outcome;
    }

    std::vector<Record> Records() const {
        return GetFileAttributesA(m_record.c_str()) == INVALID_FILE_ATTRIBUTES
                   ? std::vector<Record>()
                   : ParseRecords(ReadText(m_record));
    }

    Record OnlyRecord() const {
        std::vector<Record> records = Records();
        EXPECT_EQ(records.size(), 1u);
        return records.empty() ? Record() : records.front();
    }

    static void RemoveTree(const std::string& folder) {
        WIN32_FIND_DATAA found;
        HANDLE search = FindFirstFileA((folder + "\\*").c_str(), &found);
        if (search != INVALID_HANDLE_VALUE) {
            do {
                std::string name = found.cFileName;
                if (name == "." || name == "..") {
                    continue;
                }
                std::string path = folder + "\\" + name;
                if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
                    RemoveTree(path);
                } else {
                    DeleteFileA(path.c_str());
                }
            } while (FindNextFileA(search, &found));
            FindClose(search);
        }
        RemoveDirectoryA(folder.c_str());
    }

    std::string m_image = "demo image bytes\r\n\x01\x02\x03";
    std::string m_root;
    std::string m_folder;
    std::string m_record;
};

TEST_F(FlashStub, ImportsNothingButKernel32) {
    PeFile stub = ParsePeFile(ReadFileBytes(kStub));
    EXPECT_EQ(stub.machine, IMAGE_FILE_MACHINE_I386);
    EXPECT_EQ(stub.subsystem, IMAGE_SUBSYSTEM_WINDOWS_GUI);
    EXPECT_EQ(stub.subsystem_major, 5);
    EXPECT_EQ(stub.subsystem_minor, 1);
    EXPECT_FALSE(stub.has_delay_imports);
    ASSERT_FALSE(stub.imports.empty());
    for (const PeImport& import : stub.imports) {
        EXPECT_EQ(UpperCase(import.dll), "KERNEL32.DLL") << import.function;
    }
}

TEST_F(FlashStub, WithoutVariablesWritesTheBackupAndNothingElse) {
    std::set<std::string> before = FilesIn(m_folder);
    Outcome outcome = Run(LauncherCommandLine());
    ASSERT_TRUE(outcome.started);
    EXPECT_EQ(outcome.exit_code, 0u);
    std::set<std::string> expected = before;
    expected.insert("BIOS.bak");
    EXPECT_EQ(FilesIn(m_folder), expected);
    EXPECT_EQ(FilesIn(m_root), std::set<std::string>{}) << "no record anywhere";
    EXPECT_NE(ReadText(Path("BIOS.bak")).find("stand-in backup"), std::string::npos);
    EXPECT_EQ(ReadText(Path("MIRTSF13.IMC")), m_image) << "the image is left alone";
}

TEST_F(FlashStub, RecordsItsCommandLineFolderNeighboursAndImage) {
    ScopedVariable record("BIOSUPDATE_STUB_RECORD", m_record.c_str());
    const std::string command_line = LauncherCommandLine();
    ASSERT_TRUE(Run(command_line).started);
    Record run = OnlyRecord();
    EXPECT_TRUE(run.complete);
    EXPECT_EQ(run.Value("command-line"), command_line);
    ASSERT_TRUE(run.Value("current-folder"));
    EXPECT_EQ(lstrcmpiA(run.Value("current-folder")->c_str(), m_folder.c_str()), 0)
        << *run.Value("current-folder");
    // Listed before the backup was written.
    std::vector<std::string> files = run.All("file");
    EXPECT_EQ(std::set<std::string>(files.begin(), files.end()),
              (std::set<std::string>{"SWinFlash.exe", "msvcrt.dll", "mfc42.dll", "MIRTSF13.IMC"}));
    EXPECT_EQ(files.size(), 4u);
    EXPECT_EQ(run.Value("image"), "MIRTSF13.IMC");
    EXPECT_EQ(run.Value("image-size"), std::to_string(m_image.size()));
    EXPECT_EQ(run.Value("image-crc32"), Crc32(m_image));
    EXPECT_EQ(run.Value("backup"), "BIOS.bak");
    EXPECT_FALSE(run.Value("delay-ms"));
    EXPECT_FALSE(run.Value("exit-code"));
    EXPECT_FALSE(run.Value("truncated"));
    EXPECT_TRUE(run.All("folder").empty());
}

TEST_F(FlashStub, ChecksumsTheImageWithZlibsCrc32) {
    ScopedVariable record("BIOSUPDATE_STUB_RECORD", m_record.c_str());
    std::string large(200000, '\0');
    for (std::size_t index = 0; index < large.size(); ++index) {
        large[index] = static_cast<char>((index * 7919u) >> 3);
    }
    const struct {
        std::string contents;
        std::string crc;
    } images[] = {
        {"", "00000000"},
        {"123456789", "CBF43926"}, // the standard check value
        {"The quick brown fox jumps over the lazy dog", "414FA339"},
        {large, Crc32(large)}, // beyond one read of the stand-in's buffer
    };
    for (const auto& image : images) {
        WriteFileBytes(Path("MIRTSF13.IMC"), image.contents);
        ASSERT_TRUE(Run(LauncherCommandLine()).started);
    }
    std::vector<Record> runs = Records();
    ASSERT_EQ(runs.size(), std::size(images)) << "one record appended per run";
    for (std::size_t index = 0; index < runs.size(); ++index) {
        EXPECT_TRUE(runs[index].complete);
        EXPECT_EQ(runs[index].Value("image-size"), std::to_string(images[index].contents.size()));
        EXPECT_EQ(runs[index].Value("image-crc32"), images[index].crc) << "image " << index;
    }
}

TEST_F(FlashStub, QuotedPathAndQuotedImageNameWithSpaces) {
    ScopedVariable record("BIOSUPDATE_STUB_RECORD", m_record.c_str());
    UseFolder("stub folder");
    WriteFileBytes(Path("my image.imc"), m_image);
    const std::string command_line =
        "\"" + Path("SWinFlash.exe") + "\" /bu=old.bin /S \"my image.imc\"";
    ASSERT_TRUE(Run(command_line).started);
    Record run = OnlyRecord();
    EXPECT_EQ(run.Value("command-line"), command_line);
    EXPECT_EQ(run.Value("image"), "my image.imc");
    EXPECT_EQ(run.Value("image-crc32"), Crc32(m_image));
    EXPECT_EQ(run.Value("backup"), "old.bin") << "the switch in any letter case";
    EXPECT_EQ(FilesIn(m_folder).count("old.bin"), 1u);
}

TEST_F(FlashStub, UnquotedPathWithSpacesAsTheProgramPassesIt) {
    ScopedVariable record("BIOSUPDATE_STUB_RECORD", m_record.c_str());
    UseFolder("Program Files");
    const std::string command_line = LauncherCommandLine();
    ASSERT_NE(command_line.find(' '), std::string::npos);
    Outcome outcome = Run(command_line);
    ASSERT_TRUE(outcome.started);
    EXPECT_EQ(outcome.exit_code, 0u);
    Record run = OnlyRecord();
    // Windows passes the line on verbatim; Wine quotes the program path it resolved.
    const std::string program = Path("SWinFlash.exe");
    const std::string quoted = "\"" + program + "\"" + command_line.substr(program.size());
    EXPECT_TRUE(run.Value("command-line") == command_line || run.Value("command-line") == quoted)
        << run.Value("command-line").value_or("<none>");
    EXPECT_EQ(run.Value("image"), "MIRTSF13.IMC");
    EXPECT_EQ(run.Value("image-size"), std::to_string(m_image.size()));
    EXPECT_EQ(FilesIn(m_folder).count("BIOS.bak"), 1u);
}

TEST_F(FlashStub, ReportsAMissingOrUnnamedImageAndWritesNoUnaskedBackup) {
    ScopedVariable record("BIOSUPDATE_STUB_RECORD", m_record.c_str());
    const struct {
        std::string arguments;
        const char* image_error;
    } cases[] = {
        {"/C /S NOSUCH.IMC", "cannot open"},
        {"/C /S", "no image named"},
        {"", "no image named"},
    };
    for (const auto& test_case : cases) {
        ASSERT_TRUE(Run(Path("SWinFlash.exe") + " " + test_case.arguments).started);
    }
    std::vector<Record> runs = Records();
    ASSERT_EQ(runs.size(), std::size(cases));
    for (std::size_t index = 0; index < runs.size(); ++index) {
        EXPECT_TRUE(runs[index].complete);
        EXPECT_EQ(runs[index].Value("image-error"), cases[index].image_error) << index;
        EXPECT_FALSE(runs[index].Value("image-size")) << index;
        EXPECT_FALSE(runs[index].Value("backup")) << index;
    }
    EXPECT_EQ(FilesIn(m_folder).count("BIOS.bak"), 0u);
}

TEST_F(FlashStub, RefusesAnUnusableBackupName) {
    ScopedVariable record("BIOSUPDATE_STUB_RECORD", m_record.c_str());
    const struct {
        std::string backup_switch;
        const char* error;
    } cases[] = {
        {"/BU=", "unusable name"},
        {"/BU=" + std::string(300, 'b'), "unusable name"},
        {"/BU=no\\such\\folder\\BIOS.bak", "cannot create"},
    };
    for (const auto& test_case : cases) {
        ASSERT_TRUE(
            Run(Path("SWinFlash.exe") + " " + test_case.backup_switch + " MIRTSF13.IMC").started);
    }
    std::vector<Record> runs = Records();
    ASSERT_EQ(runs.size(), std::size(cases));
    for (std::size_t index = 0; index < runs.size(); ++index) {
        EXPECT_EQ(runs[index].Value("backup-error"), cases[index].error) << index;
        EXPECT_FALSE(runs[index].Value("backup")) << index;
    }
    EXPECT_EQ(FilesIn(m_folder),
              (std::set<std::string>{"SWinFlash.exe", "msvcrt.dll", "mfc42.dll", "MIRTSF13.IMC"}));
}

TEST_F(FlashStub, ExitsWithTheRequestedCode) {
    ScopedVariable record("BIOSUPDATE_STUB_RECORD", m_record.c_str());
    const struct {
        const char* value;
        DWORD exit_code;
        const char* recorded;
    } cases[] = {
        {"0", 0, "0"},
        {"7", 7, "7"},
        {"255", 255, "255"},
        {"4294967295", 4294967295u, "4294967295"},
        {"4294967296", 0, "invalid"}, // beyond 32 bits
        {"-1", 0, "invalid"},
        {"12x", 0, "invalid"},
        {" 3", 0, "invalid"},
    };
    for (const auto& test_case : cases) {
        ScopedVariable exit_code("BIOSUPDATE_STUB_EXIT_CODE", test_case.value);
        Outcome outcome = Run(LauncherCommandLine());
        ASSERT_TRUE(outcome.started);
        EXPECT_EQ(outcome.exit_code, test_case.exit_code) << "\"" << test_case.value << "\"";
    }
    std::vector<Record> runs = Records();
    ASSERT_EQ(runs.size(), std::size(cases));
    for (std::size_t index = 0; index < runs.size(); ++index) {
        EXPECT_EQ(runs[index].Value("exit-code"), cases[index].recorded) << cases[index].value;
    }
}

TEST_F(FlashStub, SleepsForTheRequestedDelay) {
    ScopedVariable record("BIOSUPDATE_STUB_RECORD", m_record.c_str());
    ScopedVariable delay("BIOSUPDATE_STUB_DELAY_MS", "1500");
    DWORD start = GetTickCount();
    DWORD still_running = 300;
    Outcome outcome = Run(LauncherCommandLine(), &still_running);
    DWORD elapsed = GetTickCount() - start;
    ASSERT_TRUE(outcome.started);
    EXPECT_EQ(still_running, static_cast<DWORD>(WAIT_TIMEOUT)) << "still asleep after 300 ms";
    EXPECT_GE(elapsed, 1400u) << "timer granularity allowed for";
    EXPECT_EQ(OnlyRecord().Value("delay-ms"), "1500");
}

TEST_F(FlashStub, IgnoresAnInvalidDelay) {
    ScopedVariable record("BIOSUPDATE_STUB_RECORD", m_record.c_str());
    for (const char* value : {"soon", "4294967295", "99999999999"}) {
        ScopedVariable delay("BIOSUPDATE_STUB_DELAY_MS", value);
        Outcome outcome = Run(LauncherCommandLine());
        ASSERT_TRUE(outcome.started);
        EXPECT_EQ(outcome.exit_code, 0u) << value;
    }
    std::vector<Record> runs = Records();
    ASSERT_EQ(runs.size(), 3u);
    for (const Record& run : runs) {
        EXPECT_EQ(run.Value("delay-ms"), "invalid");
    }
}

TEST_F(FlashStub, ListsSubfoldersApartFromFiles) {
    ScopedVariable record("BIOSUPDATE_STUB_RECORD", m_record.c_str());
    ASSERT_TRUE(CreateDirectoryA(Path("logs").c_str(), nullptr));
    ASSERT_TRUE(Run(LauncherCommandLine()).started);
    Record run = OnlyRecord();
    EXPECT_EQ(run.All("folder"), std::vector<std::string>{"logs"});
    EXPECT_EQ(run.All("file").size(), 4u);
}

} // namespace
