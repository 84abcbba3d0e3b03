// SPDX-FileCopyrightText: 2026 dialer-config developers
//
// SPDX-License-Identifier: MIT

#include "PrivateFile.h"

#include <QFileInfo>

#include <grp.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

namespace PrivateFile {

bool open(QFile& file, QIODevice::OpenMode mode) {
    // The mode is given at creation, so the file is never readable by others, not even empty.
    return file.open(mode, QFileDevice::ReadOwner | QFileDevice::WriteOwner);
}

Rights::Rights(const QString& path)
    : m_new(!QFileInfo::exists(path)) {
    struct stat old {};
    if (!m_new && ::geteuid() == 0 && ::stat(QFile::encodeName(path).constData(), &old) == 0) {
        m_owner = old.st_uid;
        m_group = old.st_gid;
    }
}

void Rights::giveToOpen(QFileDevice& file) const {
    // QSaveFile gives a replacement the old file's mode itself; a new file would take the umask's
    // (0644 as a rule). Where the file system allows, Linux keeps the new file unnamed
    // (O_TMPFILE) until it is complete, so nobody can open it before this; elsewhere it has a
    // random name for the moment until this, and nothing in it yet. A file system without modes
    // refuses fchmod, and has none to narrow.
    if (m_new && file.handle() >= 0)
        (void)::fchmod(file.handle(), S_IRUSR | S_IWUSR);
    // The replacement is root's; a user's file stays the user's, or a 0600 file would lock its
    // owner out of it (sudo dialer-config in the user's folder, dialerctl --backup under become).
    if (m_owner >= 0 && file.handle() >= 0)
        (void)::fchown(file.handle(), uid_t(m_owner), gid_t(m_group));
}

void Rights::giveToPlaced(const QString&) const {}

namespace {

// A folder whose group is the user's own (a private group of the user's name, with no other
// member: umask 002 leaves such folders group-writable) lets no other user write to it.
bool isOwnGroup(const struct stat& folder) {
    if (folder.st_uid != ::geteuid() || folder.st_gid != ::getegid())
        return false;
    const passwd *user = ::getpwuid(::geteuid());
    const group *own = ::getgrgid(folder.st_gid);
    return user && own && qstrcmp(user->pw_name, own->gr_name) == 0 &&
           (own->gr_mem == nullptr || own->gr_mem[0] == nullptr);
}

} // namespace

bool isLinkOthersControl(const QString& path) {
    struct stat link {};
    if (::lstat(QFile::encodeName(path).constData(), &link) != 0 || !S_ISLNK(link.st_mode))
        return false;
    struct stat folder {};
    if (::stat(QFile::encodeName(QFileInfo(path).absolutePath()).constData(), &folder) != 0)
        return true;
    const bool othersWrite =
        (folder.st_mode & S_IWOTH) != 0 || ((folder.st_mode & S_IWGRP) != 0 && !isOwnGroup(folder));
    const bool othersOwn = folder.st_uid != ::geteuid() && folder.st_uid != 0;
    return othersWrite || othersOwn;
}

} // namespace PrivateFile
