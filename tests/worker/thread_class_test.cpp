// The worker as a framework class: its run-time class record, message map, dynamic creation and
// self-deletion, and its two small steps, the image look-up and the status text.
#include "worker_test_support.h"

#include "res/resource.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>

namespace {

TEST(WorkerClass, RunTimeClassRecord) {
    const CRuntimeClass* record = RUNTIME_CLASS(CHWDriverDownloadThread);
    EXPECT_STREQ(record->m_lpszClassName, "CHWDriverDownloadThread");
    EXPECT_EQ(record->m_wSchema, 0xFFFFu);
    EXPECT_EQ(record->m_nObjectSize, static_cast<int>(sizeof(CHWDriverDownloadThread)));
    EXPECT_EQ(record->m_pBaseClass, RUNTIME_CLASS(CWinThread));
    EXPECT_TRUE(record->IsDerivedFrom(RUNTIME_CLASS(CWinThread)));
}

TEST(WorkerClass, DynamicCreationBuildsAnUnownedAutoDeletingWorker) {
    const std::unique_ptr<CObject> object(RUNTIME_CLASS(CHWDriverDownloadThread)->CreateObject());
    ASSERT_NE(object, nullptr);
    EXPECT_EQ(object->GetRuntimeClass(), RUNTIME_CLASS(CHWDriverDownloadThread));
    const auto* worker = dynamic_cast<const CHWDriverDownloadThread*>(object.get());
    ASSERT_NE(worker, nullptr);
    EXPECT_EQ(worker->m_pOwner, nullptr);
    EXPECT_TRUE(worker->m_strFoundFile.IsEmpty());
    EXPECT_TRUE(worker->m_strBiosPrefix.IsEmpty());
    EXPECT_TRUE(worker->m_bAutoDelete);
}

TEST(WorkerClass, EmptyMessageMapChainsToTheThreadsOwn) {
    const CHWDriverDownloadThread worker;
    const CWinThread base;
    const AFX_MSGMAP* map = worker.GetMessageMap();
    ASSERT_NE(map, nullptr);
    EXPECT_EQ(map->entries[0].message, 0u);
    ASSERT_NE(map->pfnGetBaseMap, nullptr);
    EXPECT_EQ(map->pfnGetBaseMap(), base.GetMessageMap());
    EXPECT_NE(map, base.GetMessageMap());
}

TEST(WorkerClass, WithoutAWindowItOnlyEnds) {
    worker_test::DeleteStampKeys();
    const worker_test::ScopedWorkFolder workFolder;
    workFolder.PutImage();
    CHWDriverDownloadThread worker;
    EXPECT_EQ(worker.DoUpdate(), 0);
    EXPECT_FALSE(worker_test::ReadStamp().present);
    EXPECT_TRUE(worker.m_strFoundFile.IsEmpty());
}

TEST(WorkerClass, BiosPrefixIsTheUpperCasedFirstFiveCharacters) {
    struct PrefixCase {
        const char* biosVersion;
        const char* prefix;
    };
    const PrefixCase cases[] = {
        {"mirtsf13", "MIRTS"}, {"MIRTSF13", "MIRTS"}, {"abc", "ABC"}, {"", ""}};
    for (const PrefixCase& testCase : cases) {
        worker_test::DeleteStampKeys();
        const worker_test::ScopedWorkFolder workFolder;
        workFolder.PutImage();
        worker_test::TestStatusWindow window;
        window.dialog.m_strBiosVersion = testCase.biosVersion;
        window.dialog.m_strImageFile = "mirtsf13.imc";
        CHWDriverDownloadThread worker(&window.dialog);
        worker.DoUpdate();
        EXPECT_STREQ(worker.m_strBiosPrefix, testCase.prefix) << testCase.biosVersion;
        ::KillTimer(window.Handle(), IDT_EXIT);
    }
    worker_test::DeleteStampKeys();
}

struct FindCase {
    const char* name;
    std::vector<const char*> folders; // created in the work folder first
    std::vector<const char*> files;   // then these
    const char* pattern;              // relative to the work folder
    BOOL found;
    const char* foundName;
};

void PrintTo(const FindCase& testCase, std::ostream* out) {
    *out << testCase.name;
}

class FindImageFile : public testing::TestWithParam<FindCase> {};

TEST_P(FindImageFile, NamesTheFirstMatchAsStored) {
    const FindCase& testCase = GetParam();
    const worker_test::ScopedWorkFolder workFolder;
    for (const char* folder : testCase.folders) {
        ::CreateDirectoryA(workFolder.FilePath(folder).c_str(), nullptr);
    }
    for (const char* file : testCase.files) {
        worker_test::WriteTextFile(workFolder.FilePath(file), "x");
    }
    CHWDriverDownloadThread worker;
    worker.m_strFoundFile = "left from before";

    EXPECT_EQ(worker.FindImageFile(workFolder.FilePath(testCase.pattern).c_str()), testCase.found);
    EXPECT_STREQ(worker.m_strFoundFile, testCase.foundName);
}

INSTANTIATE_TEST_SUITE_P(
    Patterns, FindImageFile,
    testing::Values(
        FindCase{"ExactName", {}, {"mirtsf13.imc"}, "mirtsf13.imc", TRUE, "mirtsf13.imc"},
        FindCase{"NameInStoredCase", {}, {"MirtsF13.IMC"}, "mirtsf13.imc", TRUE, "MirtsF13.IMC"},
        FindCase{"Missing", {}, {"other.imc"}, "mirtsf13.imc", FALSE, ""},
        FindCase{"MissingFolder", {}, {}, "absent\\mirtsf13.imc", FALSE, ""},
        FindCase{"DotsSkipped", {"sub"}, {}, "sub\\*", FALSE, ""},
        FindCase{"FirstAfterDots", {"sub"}, {"sub\\only.imc"}, "sub\\*", TRUE, "only.imc"},
        // A folder is never taken for the image, not even one of the image's name.
        FindCase{"FolderOfThatName", {"mirtsf13.imc"}, {}, "mirtsf13.imc", FALSE, ""},
        FindCase{"FoldersOnly", {"sub", "sub\\inner"}, {}, "sub\\*", FALSE, ""}),
    [](const testing::TestParamInfo<FindCase>& param) { return param.param.name; });

TEST(ShowStatus, MissingStringKeepsTheLastLoadedText) {
    worker_test::TestStatusWindow window;
    CHWDriverDownloadThread worker(&window.dialog);
    window.dialog.SetStatus("set by the window");
    const UINT kMissing = 999;

    worker.ShowStatus(kMissing);
    EXPECT_STREQ(window.dialog.GetStatus(), "");
    EXPECT_NE(::GetUpdateRect(window.Handle(), nullptr, FALSE), FALSE);
    ::ValidateRect(window.Handle(), nullptr);

    worker.ShowStatus(IDS_LOADING);
    EXPECT_STREQ(window.dialog.GetStatus(), "status loading");
    EXPECT_NE(::GetUpdateRect(window.Handle(), nullptr, FALSE), FALSE);
    ::ValidateRect(window.Handle(), nullptr);

    worker.ShowStatus(kMissing);
    EXPECT_STREQ(window.dialog.GetStatus(), "status loading");
    worker.ShowStatus(IDS_VERIFYING);
    EXPECT_STREQ(window.dialog.GetStatus(), "status verifying");
}

} // namespace
