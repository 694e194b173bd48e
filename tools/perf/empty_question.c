/* The reference for the start-up latency: an empty Win32 program that only asks a Yes/No question
   in a box captioned as the program's, and ends. Started the same way as the program, it shows
   what Wine's own start-up takes. */
#include <windows.h>

int WINAPI WinMain(HINSTANCE instance, HINSTANCE previous, LPSTR commandLine, int show) {
    (void)instance;
    (void)previous;
    (void)commandLine;
    (void)show;
    MessageBoxA(NULL, "Proceed?", "BIOS update", MB_YESNO);
    return 0;
}
