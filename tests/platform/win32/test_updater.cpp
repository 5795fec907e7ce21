// Stands in for updater.exe in the backend tests: it leaves a mark in the
// folder it was started in, so the test sees that it ran, and where.

#include <windows.h>

int main() {
    const HANDLE mark = CreateFileW(L"updater-ran.txt", GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                    FILE_ATTRIBUTE_NORMAL, nullptr);
    if (mark == INVALID_HANDLE_VALUE) return 1;
    CloseHandle(mark);
    return 0;
}
