// The whole framework.
#pragma once

#include <windows.h>

#include "afx_codepage.h"
#include "afx_string.h"
#include "afx_handle.h"
#include "afx_sync.h"
#include "afx_object.h"
#include "afx_exception.h"
#include "afx_file.h"
#include "afx_gdi.h"
#include "afx_wnd.h"
#include "afx_dialog.h"
#include "afx_thread.h"
#include "afx_app.h"
