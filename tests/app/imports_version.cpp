// A program that imports version.dll, which is no known system library on Windows 7: the
// import check must refuse it.
#include <windows.h>

int main() { return GetFileVersionInfoSizeA("kernel32.dll", nullptr) == 0; }
