// SPDX-FileCopyrightText: 2026 dialer-config developers
//
// SPDX-License-Identifier: MIT

#pragma once

#include <QString>

// Who may read a file, as a test compares it: "owner only", "everyone reads" (the rights
// shareWithEveryone gives, standing for rights an owner chose), or what else the file has.

#ifdef Q_OS_WIN

#include <QDir>
#include <QFileInfo>

#include <windows.h>

#include <aclapi.h>
#include <sddl.h>

namespace FileRightsDetail {

inline QByteArray currentUser() {
    HANDLE token = nullptr;
    DWORD size = 0;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token))
        return {};
    (void)GetTokenInformation(token, TokenUser, nullptr, 0, &size);
    QByteArray user(qsizetype(size), '\0');
    if (!GetTokenInformation(token, TokenUser, user.data(), size, &size))
        user.clear();
    CloseHandle(token);
    return user;
}

inline PSID sidOf(QByteArray& user) {
    return reinterpret_cast<TOKEN_USER *>(user.data())->User.Sid;
}

inline std::wstring nativePath(const QString& path) {
    return QDir::toNativeSeparators(QFileInfo(path).absoluteFilePath()).toStdWString();
}

} // namespace FileRightsDetail

// Who the file's DACL lets read it, as Windows reads it back: "owner only" when no one but the
// user (and SYSTEM and the Administrators, who may read every file) is allowed to, "everyone
// reads" when Everyone is. Wine keeps no DACL of its own for a file: it turns a DACL it is given
// into the file's Unix mode and reads back one made from that mode (not protected, with the
// Administrators beside the owner). So under wine this shows who may read the file as wine
// will tell it, not that the DACL is protected, and wine enforces none of it (it runs as one
// Unix user): no test here can show another user refused.
inline QString rightsOf(const QString& path) {
    using namespace FileRightsDetail;
    PACL dacl = nullptr;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    std::wstring name = nativePath(path);
    if (GetNamedSecurityInfoW(name.data(), SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, nullptr,
                              nullptr, &dacl, nullptr, &descriptor) != ERROR_SUCCESS)
        return QStringLiteral("unreadable");
    QByteArray user = currentUser();
    QStringList readers;
    bool everyone = false;
    for (DWORD i = 0; dacl && i < dacl->AceCount; ++i) {
        void *entry = nullptr;
        if (!GetAce(dacl, i, &entry))
            continue;
        const auto *ace = static_cast<ACCESS_ALLOWED_ACE *>(entry);
        if (ace->Header.AceType != ACCESS_ALLOWED_ACE_TYPE || !(ace->Mask & FILE_READ_DATA))
            continue;
        PSID sid = const_cast<DWORD *>(&ace->SidStart);
        LPWSTR text = nullptr;
        QString who = QStringLiteral("?");
        if (ConvertSidToStringSidW(sid, &text))
            who = QString::fromWCharArray(text);
        LocalFree(text);
        if (EqualSid(sid, sidOf(user)) || who == QLatin1String("S-1-5-18") ||
            who == QLatin1String("S-1-5-32-544"))
            continue;
        everyone = everyone || who == QLatin1String("S-1-1-0");
        readers << who;
    }
    LocalFree(descriptor);
    if (readers.isEmpty())
        return QStringLiteral("owner only");
    if (everyone)
        return QStringLiteral("everyone reads");
    return QStringLiteral("read by ") + readers.join(QStringLiteral(", "));
}

inline bool shareWithEveryone(const QString& path) {
    using namespace FileRightsDetail;
    QByteArray user = currentUser();
    SID_IDENTIFIER_AUTHORITY world = SECURITY_WORLD_SID_AUTHORITY;
    PSID everyone = nullptr;
    if (user.isEmpty() ||
        !AllocateAndInitializeSid(&world, 1, SECURITY_WORLD_RID, 0, 0, 0, 0, 0, 0, 0, &everyone))
        return false;
    const DWORD size = DWORD{sizeof(ACL) + 2 * sizeof(ACCESS_ALLOWED_ACE)} +
                       GetLengthSid(sidOf(user)) + GetLengthSid(everyone);
    QByteArray acl(qsizetype(size), '\0');
    auto *list = reinterpret_cast<PACL>(acl.data());
    std::wstring name = nativePath(path);
    const bool set =
        InitializeAcl(list, size, ACL_REVISION) &&
        AddAccessAllowedAce(list, ACL_REVISION, FILE_ALL_ACCESS, sidOf(user)) &&
        AddAccessAllowedAce(list, ACL_REVISION, FILE_GENERIC_READ, everyone) &&
        SetNamedSecurityInfoW(name.data(), SE_FILE_OBJECT,
                              DACL_SECURITY_INFORMATION | PROTECTED_DACL_SECURITY_INFORMATION,
                              nullptr, nullptr, list, nullptr) == ERROR_SUCCESS;
    FreeSid(everyone);
    return set;
}

#else

#include <QFile>

#include <sys/stat.h>

inline QString rightsOf(const QString& path) {
    struct stat status {};
    if (stat(QFile::encodeName(path).constData(), &status) != 0)
        return QStringLiteral("unreadable");
    const mode_t mode = status.st_mode & 07777;
    if (mode == 0600)
        return QStringLiteral("owner only");
    if (mode == 0644)
        return QStringLiteral("everyone reads");
    return QStringLiteral("mode %1").arg(mode, 4, 8, QLatin1Char('0'));
}

inline bool shareWithEveryone(const QString& path) {
    return chmod(QFile::encodeName(path).constData(), 0644) == 0;
}

#endif
