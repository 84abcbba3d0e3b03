// SPDX-FileCopyrightText: 2026 dialer-config developers
//
// SPDX-License-Identifier: MIT

// A stand-in for the opening helper on Windows, for the tests of how the program starts it and
// hears it. It opens nothing: it notes each start in DEVICE.started and behaves as the device's
// name ends:
//   -hang    waits until DEVICE.release exists (at most 20 s), as a driver holds an opening, notes
//            that in DEVICE.returned, then answers that the port did not open in time
//            (ERROR_SEM_TIMEOUT);
//   -silent  ends without a word;
//   -short   answers five bytes of a record and ends.
//
//     dialer-open-standin DEVICE

#include "OpenerProtocol.h"

#include <windows.h>

#include <cwchar>

namespace {

bool endsWith(const wchar_t *text, const wchar_t *end) {
    const std::size_t length = std::wcslen(text);
    const std::size_t endLength = std::wcslen(end);
    return length >= endLength && std::wcscmp(text + length - endLength, end) == 0;
}

bool note(const wchar_t *device, const wchar_t *suffix, bool append) {
    wchar_t path[MAX_PATH];
    if (std::swprintf(path, MAX_PATH, L"%ls%ls", device, suffix) < 0)
        return false;
    const HANDLE file = CreateFileW(path, append ? FILE_APPEND_DATA : GENERIC_READ,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                    append ? OPEN_ALWAYS : OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    DWORD written = 0;
    if (append)
        WriteFile(file, "\n", 1, &written, nullptr);
    CloseHandle(file);
    return true;
}

} // namespace

int wmain(int argc, wchar_t **argv) {
    if (argc != 2)
        return 2;
    const wchar_t *device = argv[1];
    note(device, L".started", true);
    const HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE);
    DWORD written = 0;
    if (endsWith(device, L"-silent"))
        return 0;
    OpenerProtocol::Answer record;
    record.kind = OpenerProtocol::Failed;
    record.error = ERROR_SEM_TIMEOUT;
    if (endsWith(device, L"-short"))
        return WriteFile(out, &record, 5, &written, nullptr) ? 0 : 1;
    for (int waited = 0; waited < 2000 && !note(device, L".release", false); ++waited)
        Sleep(10);
    note(device, L".returned", true);
    return WriteFile(out, &record, sizeof record, &written, nullptr) ? 0 : 1;
}
