// SPDX-FileCopyrightText: 2026 dialer-config developers
//
// SPDX-License-Identifier: MIT

#include "PrivateFile.h"

#include <QDir>
#include <QFileInfo>

#include <windows.h>

#include <aclapi.h>

namespace PrivateFile {

namespace {

std::wstring nativePath(const QString& path) {
    return QDir::toNativeSeparators(QFileInfo(path).absoluteFilePath()).toStdWString();
}

// A DACL that grants the running user, and no one else, everything. It is protected: nothing of
// the folder's inheritable entries (Users may read, as a rule) is added to it.
QByteArray ownerOnlyAcl() {
    HANDLE token = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token))
        return {};
    DWORD size = 0;
    (void)GetTokenInformation(token, TokenUser, nullptr, 0, &size);
    QByteArray user(qsizetype(size), '\0');
    const bool known = size > 0 && GetTokenInformation(token, TokenUser, user.data(), size, &size);
    CloseHandle(token);
    if (!known)
        return {};
    PSID sid = reinterpret_cast<TOKEN_USER *>(user.data())->User.Sid;
    const DWORD aclSize = DWORD{sizeof(ACL) + sizeof(ACCESS_ALLOWED_ACE)} + GetLengthSid(sid);
    QByteArray acl(qsizetype(aclSize), '\0');
    auto *list = reinterpret_cast<PACL>(acl.data());
    if (!InitializeAcl(list, aclSize, ACL_REVISION) ||
        !AddAccessAllowedAce(list, ACL_REVISION, FILE_ALL_ACCESS, sid))
        return {};
    return acl;
}

// The file's DACL when it is its own (protected), not the one its folder hands down.
QByteArray ownAcl(const QString& path) {
    PACL dacl = nullptr;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    std::wstring name = nativePath(path);
    if (GetNamedSecurityInfoW(name.data(), SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, nullptr,
                              nullptr, &dacl, nullptr, &descriptor) != ERROR_SUCCESS)
        return {};
    SECURITY_DESCRIPTOR_CONTROL control = 0;
    DWORD revision = 0;
    QByteArray acl;
    if (dacl && GetSecurityDescriptorControl(descriptor, &control, &revision) &&
        (control & SE_DACL_PROTECTED))
        acl = QByteArray(reinterpret_cast<const char *>(dacl), dacl->AclSize);
    LocalFree(descriptor);
    return acl;
}

} // namespace

bool open(QFile& file, QIODevice::OpenMode mode) {
    // A missing file is created first with the owner's DACL, which Qt's own opening would not
    // give; the opening then finds it there, and reports any failure in Qt's words.
    if (mode & QIODevice::WriteOnly && !(mode & QIODevice::ExistingOnly)) {
        QByteArray acl = ownerOnlyAcl();
        SECURITY_DESCRIPTOR descriptor;
        SECURITY_ATTRIBUTES attributes{sizeof attributes, &descriptor, FALSE};
        if (!acl.isEmpty() &&
            InitializeSecurityDescriptor(&descriptor, SECURITY_DESCRIPTOR_REVISION) &&
            SetSecurityDescriptorDacl(&descriptor, TRUE, reinterpret_cast<PACL>(acl.data()),
                                      FALSE) &&
            SetSecurityDescriptorControl(&descriptor, SE_DACL_PROTECTED, SE_DACL_PROTECTED)) {
            const HANDLE created =
                CreateFileW(nativePath(file.fileName()).c_str(), GENERIC_WRITE,
                            FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, &attributes,
                            CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
            if (created != INVALID_HANDLE_VALUE)
                CloseHandle(created);
        }
    }
    return file.open(mode);
}

Rights::Rights(const QString& path)
    : m_new(!QFileInfo::exists(path))
    , m_kept(m_new ? QByteArray() : ownAcl(path)) {}

void Rights::giveToOpen(QFileDevice&) const {}

void Rights::giveToPlaced(const QString& path) const {
    // The new file took the place of the old one with its folder's inherited rights, so the old
    // file's own rights, or the owner's alone for a new file, are given to it now. While it was
    // written it was held unshared; only from its renaming to now, a moment, did it have its
    // folder's rights. A file system without rights (FAT) refuses, and has none to narrow.
    QByteArray acl = m_new ? ownerOnlyAcl() : m_kept;
    if (acl.isEmpty())
        return;
    std::wstring name = nativePath(path);
    (void)SetNamedSecurityInfoW(name.data(), SE_FILE_OBJECT,
                                DACL_SECURITY_INFORMATION | PROTECTED_DACL_SECURITY_INFORMATION,
                                nullptr, nullptr, reinterpret_cast<PACL>(acl.data()), nullptr);
}

// Making a symbolic link takes an administrator's right (or developer mode) here, and the
// folders every user may write to hold no link one user leaves for another to follow.
bool isLinkOthersControl(const QString&) {
    return false;
}

} // namespace PrivateFile
