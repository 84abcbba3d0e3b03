// SPDX-FileCopyrightText: 2026 dialer-config developers
//
// SPDX-License-Identifier: MIT

// dialer-open: opens one COM port for the program that started it and answers on its standard
// output with the handle it got, or the system's reason it did not open. The program copies the
// handle into itself and writes one byte to the helper's standard input; the helper then closes
// its own copy and ends. It waits in the system in the program's place for as long as a driver
// holds the opening (a Bluetooth port connecting to a far end that is switched off), and an answer
// nobody takes any more (the program gave up on it, or has ended, and closed its ends of the
// pipes) closes the port again.
//
//     dialer-open DEVICE        (COM3, or a path such as \\.\COM12)
//
// It needs no library but the system's own (the compiler's runtime is linked into it), so that it
// starts with an empty search path and an environment of its own.

#include "OpenerProtocol.h"

#include <windows.h>

#include <cwchar>

namespace {

// "COM12" and the other system names open through the device namespace; a path as given. False
// when the name does not fit (no device has such a name).
bool devicePath(const wchar_t *name, wchar_t (&path)[MAX_PATH]) {
    const wchar_t *prefix = name[0] == L'\\' ? L"" : L"\\\\.\\";
    const std::size_t length = std::wcslen(prefix) + std::wcslen(name);
    if (length >= MAX_PATH)
        return false;
    std::wcscpy(path, prefix);
    std::wcscat(path, name);
    return true;
}

bool writeAll(HANDLE to, const void *bytes, DWORD size) {
    const auto *next = static_cast<const char *>(bytes);
    while (size > 0) {
        DWORD written = 0;
        if (!WriteFile(to, next, size, &written, nullptr) || written == 0)
            return false;
        next += written;
        size -= written;
    }
    return true;
}

} // namespace

int wmain(int argc, wchar_t **argv) {
    if (argc != 2 || argv[1][0] == L'\0')
        return 2;
    // A port that fails never brings up a dialog of the system's: the helper has no window and
    // nobody to answer it.
    SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
    const HANDLE answers = GetStdHandle(STD_OUTPUT_HANDLE);
    const HANDLE taken = GetStdHandle(STD_INPUT_HANDLE);
    if (answers == nullptr || answers == INVALID_HANDLE_VALUE)
        return 3;

    // As the serial line has always opened the port: exclusively, for plain (not overlapped)
    // reads and writes.
    wchar_t path[MAX_PATH];
    HANDLE device = INVALID_HANDLE_VALUE;
    DWORD failure = ERROR_FILENAME_EXCED_RANGE;
    if (devicePath(argv[1], path)) {
        device =
            CreateFileW(path, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
        failure = GetLastError();
    }
    OpenerProtocol::Answer record;
    if (device != INVALID_HANDLE_VALUE) {
        record.kind = OpenerProtocol::Opened;
        record.handle = reinterpret_cast<std::uintptr_t>(device);
    } else {
        record.kind = OpenerProtocol::Failed;
        record.error = failure;
    }
    const bool told = writeAll(answers, &record, sizeof record);
    if (device == INVALID_HANDLE_VALUE)
        return told ? 0 : 1;

    // The program has its copy once it writes; a closed pipe instead means it gave the port up.
    // Either way this copy goes.
    char sign = 0;
    DWORD got = 0;
    const bool tookIt = told && taken != nullptr && taken != INVALID_HANDLE_VALUE &&
                        ReadFile(taken, &sign, 1, &got, nullptr) && got == 1;
    CloseHandle(device);
    return tookIt ? 0 : 1;
}
