// The process entry of a program built on the framework.
#include "afx_app.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR commandLine, int) {
    return AfxWinMain(instance, commandLine);
}
