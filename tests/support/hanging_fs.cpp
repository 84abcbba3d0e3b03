// SPDX-FileCopyrightText: 2026 dialer-config developers
//
// SPDX-License-Identifier: MIT

// A file system of one file, "port", whose open() the kernel answers only after so many seconds,
// as a Bluetooth serial port's is answered once its device connects: each opener waits in the
// kernel while the request waits here. Runs in the foreground until unmounted or killed.
//
//     hanging-fs MOUNTPOINT SECONDS

#define FUSE_USE_VERSION 31
#include <fuse.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include <sys/stat.h>
#include <unistd.h>

namespace {

unsigned delaySeconds = 0;
constexpr char FileName[] = "/port";

int attributes(const char *path, struct stat *info, fuse_file_info *) {
    std::memset(info, 0, sizeof *info);
    if (std::strcmp(path, "/") == 0) {
        info->st_mode = S_IFDIR | 0755;
        info->st_nlink = 2;
        return 0;
    }
    if (std::strcmp(path, FileName) != 0)
        return -ENOENT;
    info->st_mode = S_IFREG | 0666;
    info->st_nlink = 1;
    return 0;
}

int openSlowly(const char *path, fuse_file_info *) {
    if (std::strcmp(path, FileName) != 0)
        return -ENOENT;
    ::sleep(delaySeconds);
    return 0;
}

int readNothing(const char *, char *, size_t, off_t, fuse_file_info *) {
    return 0;
}

int writeAll(const char *, const char *, size_t size, off_t, fuse_file_info *) {
    return int(size);
}

} // namespace

int main(int argc, char **argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: hanging-fs MOUNTPOINT SECONDS\n");
        return 2;
    }
    delaySeconds = unsigned(std::atoi(argv[2]));
    fuse_operations operations{};
    operations.getattr = attributes;
    operations.open = openSlowly;
    operations.read = readNothing;
    operations.write = writeAll;
    // In the foreground, each request on a thread of its own, open to every user.
    char foreground[] = "-f";
    char others[] = "-oallow_other";
    char *arguments[] = {argv[0], foreground, others, argv[1], nullptr};
    return fuse_main(4, arguments, &operations, nullptr);
}
