// The stand-in flash utility, started as the program starts it: from a folder whose path has
// spaces, unquoted, hidden, waited for. The end-to-end runs rely on its record of how it was called
// and what lay beside it at its start and at its end, on its backup, and on the delay and exit
// code they ask of it.
#include "test_support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <sstream>

namespace {

TEST(FlashStub, RecordsItsCallWritesTheBackupAndTakesItsDelayAndExitCode) {
    support::ScratchFolder scratch;
    const std::string folder = scratch.PathOf("Program Files\\BIOSUPDATE");
    const std::string program = folder + "\\SWinFlash.exe";
    ASSERT_TRUE(support::WriteFile(folder + "\\MIRTSF13.IMC", "image"));
    ASSERT_TRUE(CopyFileA(BIOSUPDATE_FLASHSTUB, program.c_str(), TRUE));
    ASSERT_TRUE(support::CreateFolders(folder + "\\logs"));
    SetEnvironmentVariableA("BIOSUPDATE_STUB_RECORD", scratch.PathOf("record.txt").c_str());
    SetEnvironmentVariableA("BIOSUPDATE_STUB_DELAY_MS", "2000");
    SetEnvironmentVariableA("BIOSUPDATE_STUB_EXIT_CODE", "7");

    const std::string arguments = " /BU=BIOS.bak /C /MFG /P /S /V /mode=2 MIRTSF13.IMC";
    std::string command_line = program + arguments;
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    const DWORD start = GetTickCount();
    ASSERT_TRUE(CreateProcessA(nullptr, command_line.data(), nullptr, nullptr, FALSE,
                               CREATE_NO_WINDOW, nullptr, folder.c_str(), &startup, &process));
    // Once its first record is written, the folder changes under it during its delay.
    while (!support::Exists(scratch.PathOf("record.txt")) && GetTickCount() - start < 1500) {
        Sleep(20);
    }
    ASSERT_TRUE(support::WriteFile(folder + "\\MIRTSF13.IMC", "a new image"));
    ASSERT_TRUE(RemoveDirectoryA((folder + "\\logs").c_str()));
    EXPECT_EQ(WaitForSingleObject(process.hProcess, 60000), WAIT_OBJECT_0);
    EXPECT_GE(GetTickCount() - start, 1900u);
    DWORD exit_code = 0;
    GetExitCodeProcess(process.hProcess, &exit_code);
    EXPECT_EQ(exit_code, 7u);
    CloseHandle(process.hProcess);
    CloseHandle(process.hThread);

    std::map<std::string, std::vector<std::string>> record;
    std::istringstream text(support::ReadFile(scratch.PathOf("record.txt")).value_or(""));
    for (std::string line; std::getline(text, line);) {
        if (!line.empty() && line.back() == '\r') {
            line.pop_back();
        }
        std::size_t equals = std::min(line.find('='), line.size());
        record[line.substr(0, equals)].push_back(line.substr(std::min(equals + 1, line.size())));
    }
    // Windows hands the line on verbatim; Wine quotes the program's path that it resolved.
    const std::string quoted = "\"" + program + "\"" + arguments;
    ASSERT_EQ(record["command-line"].size(), 1u);
    EXPECT_TRUE(record["command-line"][0] == command_line || record["command-line"][0] == quoted)
        << record["command-line"][0];
    std::sort(record["file"].begin(), record["file"].end());
    using Values = std::vector<std::string>;
    EXPECT_EQ(record["current-folder"], Values{folder});
    EXPECT_EQ(record["file"], (Values{"MIRTSF13.IMC", "SWinFlash.exe"}));
    EXPECT_EQ(record["folder"], Values{"logs"});
    EXPECT_EQ(record["image"], Values{"MIRTSF13.IMC"});
    EXPECT_EQ(record["image-size"], Values{"5"});
    EXPECT_EQ(record["backup"], Values{"BIOS.bak"});
    // No resource library lies beside it here; the flash runs end to end find theirs.
    EXPECT_EQ(record["library-error"], Values{"126"});
    EXPECT_EQ(record["delay-ms"], Values{"2000"});
    EXPECT_EQ(record["exit-code"], Values{"7"});
    std::sort(record["final-file"].begin(), record["final-file"].end());
    EXPECT_EQ(record["final-file"], (Values{"BIOS.bak", "MIRTSF13.IMC", "SWinFlash.exe"}));
    EXPECT_EQ(record["final-folder"], Values{});
    EXPECT_EQ(record["final-image-size"], Values{"11"});
    EXPECT_EQ(record["end"].size(), 2u);
    EXPECT_TRUE(support::Exists(folder + "\\BIOS.bak"));
}

} // namespace
