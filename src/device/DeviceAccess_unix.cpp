// SPDX-FileCopyrightText: 2026 dialer-config developers
//
// SPDX-License-Identifier: MIT

#include "DeviceAccess.h"

#include <QFileInfo>

#include <cerrno>

#include <fcntl.h>
#include <unistd.h>

namespace DeviceAccess {

bool outOfDescriptors() {
    const int fd = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return errno == EMFILE || errno == ENFILE;
    ::close(fd);
    return false;
}

// Serial devices belong to a group (dialout on Debian) whose members may open them.
std::optional<QString> groupToJoin(const QString& devicePath) {
    const QFileInfo file(devicePath);
    if (file.exists() && !(file.isReadable() && file.isWritable()))
        return file.group();
    return std::nullopt;
}

} // namespace DeviceAccess
