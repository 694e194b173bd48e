// Threads whose conversions are the first of the process: every one converts in its own thread's
// code page, whichever of them chooses it. This program makes no other conversion before them.
#include "afx.h"

#include <gtest/gtest.h>

#include <thread>
#include <vector>

namespace {

TEST(FirstConversions, ThreadsAtOnceConvertInTheirThreadsCodePage) {
    // Korean threads in an English process: any other code page gives "?" for the syllable.
    const KernelHandle go(CreateEventA(nullptr, TRUE, FALSE, nullptr));
    CString texts[8];
    std::vector<std::thread> threads;
    for (CString& text : texts) {
        threads.emplace_back([&go, &text] {
            SetThreadLocale(0x412);
            WaitForSingleObject(go.Get(), INFINITE);
            text = CString(L"\xD55C");
        });
    }
    SetEvent(go.Get());
    for (std::thread& thread : threads) {
        thread.join();
    }
    for (const CString& text : texts) {
        EXPECT_STREQ(text.GetString(), "\xC7\xD1");
    }
    EXPECT_EQ(AfxGetConversionCodePage(), static_cast<UINT>(CP_THREAD_ACP));
}

} // namespace
