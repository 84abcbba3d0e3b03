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

// Serial devices belong to a group (dialout on Debian) whose members may open them. A device of
// root's group, or one whose group may not read and write it, is no one's to join.
std::optional<Denial> denial(const QString& devicePath) {
    const QFileInfo file(devicePath);
    if (!file.exists() || (file.isReadable() && file.isWritable()))
        return std::nullopt;
    const bool groupMayUse = file.permission(QFile::ReadGroup | QFile::WriteGroup);
    if (file.groupId() == 0 || !groupMayUse)
        return Denial{};
    return Denial{file.group()};
}

} // namespace DeviceAccess
