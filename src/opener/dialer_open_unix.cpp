// SPDX-FileCopyrightText: 2026 dialer-config developers
//
// SPDX-License-Identifier: MIT

// dialer-open: opens one serial device for the program that started it, and hands the opened
// device over on the socket at descriptor 3, or the system's reason it did not open. It waits in
// the kernel in the program's place, for as long as a driver holds the opening, and ends as soon
// as it has answered; an answer nobody takes any more (the program gave up on it, or has ended)
// closes the device again.
//
//     dialer-open DEVICE        (descriptor 3: the socket; 4, if open: a guard to hold)

#include "OpenerProtocol.h"

#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <sys/socket.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace {

bool answer(const OpenerProtocol::Answer& record, int device) {
    iovec part{const_cast<OpenerProtocol::Answer *>(&record), sizeof record};
    msghdr message{};
    message.msg_iov = &part;
    message.msg_iovlen = 1;
    alignas(cmsghdr) char room[CMSG_SPACE(sizeof(int))] = {};
    if (device >= 0) {
        message.msg_control = room;
        message.msg_controllen = sizeof room;
        cmsghdr *rights = CMSG_FIRSTHDR(&message);
        rights->cmsg_level = SOL_SOCKET;
        rights->cmsg_type = SCM_RIGHTS;
        rights->cmsg_len = CMSG_LEN(sizeof(int));
        std::memcpy(CMSG_DATA(rights), &device, sizeof device);
    }
    for (;;) {
        const ssize_t sent = ::sendmsg(OpenerProtocol::SocketFd, &message, MSG_NOSIGNAL);
        if (sent == static_cast<ssize_t>(sizeof record))
            return true;
        if (sent < 0 && errno == EINTR)
            continue;
        return false;
    }
}

} // namespace

int main(int argc, char **argv) {
    if (argc != 2)
        return 2;
    // Nothing of the program's stays with the helper: not its folder, not a descriptor it forgot
    // to mark (the standard three are /dev/null, given by the program).
    if (::chdir("/") != 0)
        return 3;
    if (::syscall(SYS_close_range, unsigned(OpenerProtocol::GuardFd + 1), ~0U, 0U) != 0) {
        for (int fd = OpenerProtocol::GuardFd + 1; fd < 1024; ++fd)
            ::close(fd);
    }

    // As Qt Serial Port opens a serial device: no controlling terminal, never waiting for the
    // carrier.
    int device = -1;
    do {
        device = ::open(argv[1], O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    } while (device < 0 && errno == EINTR);

    OpenerProtocol::Answer record;
    if (device >= 0) {
        record.kind = OpenerProtocol::Opened;
    } else {
        record.kind = OpenerProtocol::Failed;
        record.error = static_cast<std::uint32_t>(errno);
    }
    const bool told = answer(record, device);
    // The program holds its own copy of the device now; this one goes. Untold, the device is
    // closed again here, which is all a late opening needs.
    if (device >= 0)
        ::close(device);
    return told ? 0 : 1;
}
