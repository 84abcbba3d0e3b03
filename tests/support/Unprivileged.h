// SPDX-FileCopyrightText: 2026 dialer-config developers
//
// SPDX-License-Identifier: MIT

#pragma once

#include <functional>
#include <grp.h>
#include <sys/wait.h>
#include <unistd.h>

// Runs `body` in a child process without root's power to ignore file permissions (as the user
// "nobody" when the test runs as root) and returns its exit code, or -1 when it did not exit.
inline int runUnprivileged(const std::function<int()>& body) {
    const pid_t child = fork();
    if (child == 0) {
        if (getuid() == 0) {
            const gid_t none[1] = {65534};
            if (setgroups(1, none) != 0 || setgid(65534) != 0 || setuid(65534) != 0)
                _exit(99);
        }
        _exit(body());
    }
    int status = 0;
    waitpid(child, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}
