// SPDX-FileCopyrightText: 2026 dialer-config developers
//
// SPDX-License-Identifier: MIT

// A character device whose open() the kernel answers only after so many seconds, as a Bluetooth
// serial link's is answered once it has connected: made with CUSE, whose every request waits
// here in user space while the opener waits in the kernel.
//
//     slow-open NAME SECONDS      makes /dev/NAME and serves it until killed

#define FUSE_USE_VERSION 31
#include <cuse_lowlevel.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include <unistd.h>

namespace {

unsigned delaySeconds = 0;

void openSlowly(fuse_req_t request, fuse_file_info *info) {
    ::sleep(delaySeconds);
    fuse_reply_open(request, info);
}

void readNothing(fuse_req_t request, size_t, off_t, fuse_file_info *) {
    fuse_reply_buf(request, nullptr, 0);
}

void writeAll(fuse_req_t request, const char *, size_t size, off_t, fuse_file_info *) {
    fuse_reply_write(request, size);
}

} // namespace

int main(int argc, char **argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: slow-open NAME SECONDS\n");
        return 2;
    }
    delaySeconds = unsigned(std::atoi(argv[2]));
    const std::string name = std::string("DEVNAME=") + argv[1];
    const char *deviceInfo[] = {name.c_str()};
    cuse_info info{};
    info.dev_info_argc = 1;
    info.dev_info_argv = deviceInfo;
    info.flags = CUSE_UNRESTRICTED_IOCTL;
    cuse_lowlevel_ops operations{};
    operations.open = openSlowly;
    operations.read = readNothing;
    operations.write = writeAll;
    // In the foreground, one thread a request: each opener waits its own time.
    char foreground[] = "-f";
    char *arguments[] = {argv[0], foreground, nullptr};
    return cuse_lowlevel_main(2, arguments, &info, &operations, nullptr);
}
