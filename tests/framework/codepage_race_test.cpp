// Two threads whose conversions are the first of the process: both see one code page and convert
// correctly. This program makes no other conversion before them.

#include "afx.h"

#include <gtest/gtest.h>

#include <thread>

namespace {

struct FirstConversion {
    UINT codePage = 0;
    CString text;
};

TEST(FirstConversions, TwoThreadsAtOnceAgree) {
    const HANDLE go = ::CreateEventA(nullptr, TRUE, FALSE, nullptr);
    ASSERT_NE(go, nullptr);
    FirstConversion results[2];
    auto convert = [go](FirstConversion* result) {
        ::WaitForSingleObject(go, INFINITE);
        result->text = CString(L"BIOS \x00E9");
        result->codePage = AfxGetConversionCodePage();
    };
    std::thread first(convert, &results[0]);
    std::thread second(convert, &results[1]);
    ::SetEvent(go);
    first.join();
    second.join();
    ::CloseHandle(go);

    for (const FirstConversion& result : results) {
        EXPECT_EQ(result.codePage, static_cast<UINT>(CP_THREAD_ACP));
        EXPECT_STREQ(result.text.GetString(), "BIOS \xE9");
    }
    EXPECT_EQ(AfxGetConversionCodePage(), static_cast<UINT>(CP_THREAD_ACP));
}

} // namespace
