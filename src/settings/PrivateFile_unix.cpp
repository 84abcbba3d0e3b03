// SPDX-FileCopyrightText: 2026 dialer-config developers
//
// SPDX-License-Identifier: MIT

#include "PrivateFile.h"

#include <QFileInfo>

#include <sys/stat.h>
#include <unistd.h>

namespace PrivateFile {

bool open(QFile& file, QIODevice::OpenMode mode) {
    // The mode is given at creation, so the file is never readable by others, not even empty.
    return file.open(mode, QFileDevice::ReadOwner | QFileDevice::WriteOwner);
}

Rights::Rights(const QString& path)
    : m_new(!QFileInfo::exists(path)) {}

void Rights::giveToOpen(QFileDevice& file) const {
    // QSaveFile gives a replacement the old file's mode itself; a new file would take the umask's
    // (0644 as a rule). Where the file system allows, Linux keeps the new file unnamed
    // (O_TMPFILE) until it is complete, so nobody can open it before this; elsewhere it has a
    // random name for the moment until this, and nothing in it yet. A file system without modes
    // refuses fchmod, and has none to narrow.
    if (m_new && file.handle() >= 0)
        (void)::fchmod(file.handle(), S_IRUSR | S_IWUSR);
}

void Rights::giveToPlaced(const QString&) const {}

bool isLinkOthersControl(const QString& path) {
    struct stat link {};
    if (::lstat(QFile::encodeName(path).constData(), &link) != 0 || !S_ISLNK(link.st_mode))
        return false;
    struct stat folder {};
    if (::stat(QFile::encodeName(QFileInfo(path).absolutePath()).constData(), &folder) != 0)
        return true;
    const bool othersWrite = (folder.st_mode & (S_IWGRP | S_IWOTH)) != 0;
    const bool othersOwn = folder.st_uid != ::geteuid() && folder.st_uid != 0;
    return othersWrite || othersOwn;
}

} // namespace PrivateFile
