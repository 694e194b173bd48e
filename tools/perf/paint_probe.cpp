// Painting: the real status window from its template, topmost and as large as the screen as during
// a run, repainted as the animation repaints it (the whole client area invalidated without
// erasing, then WM_PAINT to its OnPaint). Timed per paint, each followed by the two bitmap loads
// that every paint makes, timed alone; and the process's GDI objects, handles and working set are
// read after the first paint and after the last.
#include "probe.h"

#include "res/resource.h"
#include "ui/progress_geometry.h"
#include "ui/update_dlg.h"

#include <psapi.h>

#include <string>

namespace perf {

namespace {

// GetGuiResources is a stub under Wine, so every handle index of the process's GDI table is
// asked for its object type instead.
double LiveGdiObjects() {
    int count = 0;
    for (ULONG_PTR index = 1; index <= 0xFFFF; ++index) {
        count += ::GetObjectType(reinterpret_cast<HGDIOBJ>(index)) != 0 ? 1 : 0;
    }
    return count;
}

// Wine's GetProcessHandleCount answers 0, so every handle value a process can hold in its first
// sixteen thousand slots is asked whether it is open.
double KernelHandles() {
    int count = 0;
    for (ULONG_PTR value = 4; value <= 4 * 16384; value += 4) {
        DWORD flags = 0;
        count += ::GetHandleInformation(reinterpret_cast<HANDLE>(value), &flags) ? 1 : 0;
    }
    return count;
}

double WorkingSetKiB() {
    PROCESS_MEMORY_COUNTERS counters{};
    counters.cb = sizeof counters;
    if (!::GetProcessMemoryInfo(::GetCurrentProcess(), &counters, sizeof counters)) {
        return -1;
    }
    return static_cast<double>(counters.WorkingSetSize) / 1024.0;
}

// What the window's thread does between two animation ticks besides painting.
void HandleWaitingMessages() {
    MSG message;
    while (::PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
        ::TranslateMessage(&message);
        ::DispatchMessageA(&message);
    }
}

void Record(Results& results, const char* when) {
    HandleWaitingMessages();
    const std::string prefix = std::string("after_") + when + "_";
    results.Value((prefix + "gdi").c_str(), LiveGdiObjects());
    results.Value((prefix + "handles").c_str(), KernelHandles());
    results.Value((prefix + "working_set_kib").c_str(), WorkingSetKiB());
}

} // namespace

void RunPaint(Results& results, int timed, int total) {
    CUpdateDlg dialog;
    const HWND window = ::CreateDialogParamA(
        ::GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDD_UPDATE_DIALOG), nullptr, nullptr, 0);
    if (window == nullptr || !dialog.SubclassWindow(window)) {
        return;
    }
    ::SetWindowPos(window, HWND_TOPMOST, 0, 0, ::GetSystemMetrics(SM_CXSCREEN),
                   ::GetSystemMetrics(SM_CYSCREEN), SWP_SHOWWINDOW);
    // The flash's status text, the one on the screen the longest.
    CString status;
    status.LoadString(IDS_UPDATING);
    dialog.SetStatus(status);

    int painted = 0;
    const auto paint = [&] {
        dialog.m_nProgress = ++painted % (ui::kLastProgressStep + 1);
        const Stopwatch clock;
        ::InvalidateRect(window, nullptr, FALSE);
        ::UpdateWindow(window);
        const double milliseconds = clock.ElapsedMs();
        HandleWaitingMessages();
        return milliseconds;
    };
    paint();
    Record(results, "first");

    // A paint, then the loads alone, in turn: both meet the same conditions of the machine.
    const UINT background =
        ui::StatusScreenBitmapId(static_cast<std::uint32_t>(::GetSystemDefaultLCID()));
    std::vector<double> paints;
    std::vector<double> loads;
    for (int index = 0; index < timed; ++index) {
        paints.push_back(paint());
        const Stopwatch clock;
        const HBITMAP frame = ::LoadBitmapA(AfxGetResourceHandle(), MAKEINTRESOURCEA(background));
        const HBITMAP block = ::LoadBitmapA(AfxGetResourceHandle(), MAKEINTRESOURCEA(IDB_PROGRESS));
        ::DeleteObject(block);
        ::DeleteObject(frame);
        loads.push_back(clock.ElapsedMs());
    }
    while (painted < total) {
        paint();
    }
    Record(results, "last");
    results.Value("paints", painted);
    results.Samples("paint_ms", paints);
    results.Samples("bitmap_loads_ms", loads);
    dialog.UnsubclassWindow();
    ::DestroyWindow(window);
}

} // namespace perf
