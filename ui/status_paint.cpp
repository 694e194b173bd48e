// The status screen: a 640 by 480 frame centred on the black window, composed afresh on every
// paint from the background for the system language, the progress block and the status text.
#include "ui/update_dlg.h"

#include "res/resource.h"
#include "ui/progress_geometry.h"

#include <optional>

namespace {

constexpr COLORREF kStatusTextColor = RGB(255, 255, 255);

} // namespace

void CUpdateDlg::OnPaint() {
    if (IsIconic()) {
        CPaintDC dc(this);
        SendMessage(WM_ICONERASEBKGND, reinterpret_cast<WPARAM>(dc.GetSafeHdc()), 0);
        RECT client;
        GetClientRect(&client);
        const int x = (client.right - client.left - ::GetSystemMetrics(SM_CXICON) + 1) / 2;
        const int y = (client.bottom - client.top - ::GetSystemMetrics(SM_CYICON) + 1) / 2;
        dc.DrawIcon(x, y, m_hIcon);
        return;
    }

    // Validates the update region and lets the dialog erase it black where it was asked to.
    CDialog::OnPaint();

    // Not a paint DC: the whole frame is drawn, whatever part of the window was invalid.
    CClientDC dc(this);

    const auto lcid = static_cast<std::uint32_t>(::GetSystemDefaultLCID());
    CBitmap background;
    background.LoadBitmap(ui::StatusScreenBitmapId(lcid));
    CBitmap block;
    block.LoadBitmap(IDB_PROGRESS);

    CMemoryDC frameSurface(&dc);
    CMemoryDC blockSurface(&dc);
    // Declared after the surfaces and bitmaps so that they are put back before any of those go.
    const CSelectedObject frameSelection(frameSurface, background);
    const CSelectedObject blockSelection(blockSurface, block);

    const SIZE screen = ScreenSize();
    const ui::FramePosition frame = ui::FramePositionOnScreen(screen.cx, screen.cy);

    if (const std::optional<ui::BlockCopy> copy = ui::ProgressBlockCopy(m_nProgress)) {
        frameSurface.BitBlt(copy->destinationX, ui::kBlockTop, copy->width, ui::kBlockHeight,
                            &blockSurface, copy->sourceX, 0, SRCCOPY);
    }

    frameSurface.SetTextColor(kStatusTextColor);
    frameSurface.SetBkMode(TRANSPARENT);
    const CString status = GetStatus();
    if (!status.IsEmpty()) {
        const ui::TextBand band = ui::StatusTextBand(lcid);
        RECT bandRect{band.left, band.top, band.right, band.bottom};
        frameSurface.DrawText(status, status.GetLength(), &bandRect, DT_CENTER);
    }

    dc.BitBlt(frame.x, frame.y, ui::kFrameWidth, ui::kFrameHeight, &frameSurface, 0, 0, SRCCOPY);
}
