// A program that does nothing: it only carries Keyhaven's resources for the tests.
#include <windows.h>

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) { return 0; }
