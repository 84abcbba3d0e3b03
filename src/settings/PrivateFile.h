// SPDX-FileCopyrightText: 2026 dialer-config developers
//
// SPDX-License-Identifier: MIT

#pragma once

#include <QByteArray>
#include <QFile>
#include <QString>

// Files that hold the dialers' telephone numbers (the settings file, dialerctl's backups and its
// log) are made readable and writable by their owner alone when the program creates them: mode
// 0600 on Unix, a DACL of its own that grants the owner alone on Windows. A file that is already
// there keeps the rights it has, which its owner or an administrator chose. A file system that
// keeps no rights (FAT on a USB stick) is written as it is.
namespace PrivateFile {

// Opens `file` in `mode`; a file that writing creates is the owner's alone.
[[nodiscard]] bool open(QFile& file, QIODevice::OpenMode mode);

// The rights a save is to give its new file, taken before the save replaces the file at `path`
// (or the file a symbolic link there leads to): the owner's alone when there is no file yet, the
// old file's own otherwise, its owner's included (root saving a user's file leaves it theirs).
class Rights {
public:
    explicit Rights(const QString& path);
    // The new file, open and still empty.
    void giveToOpen(QFileDevice& file) const;
    // The new file, in its place under `path`.
    void giveToPlaced(const QString& path) const;

private:
    bool m_new = false;
    QByteArray m_kept; // the old file's own rights, where the platform must carry them over
    long long m_owner = -1, m_group = -1; // the old file's, where root replaces another's file
};

// True when `path` is a symbolic link whose folder other users may write to (a sticky /tmp, a
// group's or another user's folder): one of them chose where the link leads, and a save through
// it would overwrite that file with the running user's rights.
[[nodiscard]] bool isLinkOthersControl(const QString& path);

} // namespace PrivateFile
