// SPDX-FileCopyrightText: 2026 dialer-config developers
//
// SPDX-License-Identifier: MIT

#pragma once

#include "DialerSettings.h"

#include <QString>

// What went wrong with the settings file, if anything. The file is never changed by a failed
// Load or Save: a failed Load leaves it for the next Exit, a failed Save leaves the old file.
enum class SettingsProblem {
    None,
    CannotOpen,    // the file exists but cannot be opened or read
    EndsEarly,     // the file ends before the sixth field
    TooLarge,      // the six fields are not within the first SettingsStore::MaxFileSize bytes
    CannotEncode,  // a value holds a character the file's code page cannot represent
    CannotCreate,  // the new file cannot be created in the folder
    CannotWrite,   // writing the new file failed
    CannotReplace, // the new file could not take the old one's place
    SharedLink,    // the file is a symbolic link in a folder other users may write to
};

struct SettingsReport {
    SettingsProblem problem = SettingsProblem::None;
    QString filePath; // absolute path of the file concerned
    QString detail;   // the system's own words, where it gave any
    int field = 0;    // EndsEarly: fields read; CannotEncode: the value's position, 1 to 6

    [[nodiscard]] bool ok() const { return problem == SettingsProblem::None; }
    // A message for the user, in Russian like the rest of the window's messages.
    [[nodiscard]] QString describe() const;
};

struct SettingsLoadResult {
    DialerSettings settings; // what could be read, defaults for the rest
    SettingsReport report;
};

// Reads and writes the settings file "Velkor.ini". The name is relative, so the file lives in the
// process's current directory, not beside the program.
class SettingsStore {
public:
    static constexpr char FileName[] = "Velkor.ini";
    // A settings file is one short line; reading stops here so that a runaway file cannot
    // exhaust memory.
    static constexpr qint64 MaxFileSize = qint64{16} * 1024 * 1024;

    explicit SettingsStore(QString filePath = QString::fromLatin1(FileName));

    // No file: the defaults, silently. Otherwise the six values, or as many as could be read
    // with the defaults for the rest and a report of what was wrong.
    [[nodiscard]] SettingsLoadResult Load() const;

    // Writes the whole file anew, atomically where the folder allows it: the old file stays
    // intact until the new one is complete, so an interrupted Save never leaves a truncated or
    // empty file. In a folder that takes no new files, the existing file is rewritten in place.
    // A symbolic link keeps pointing where it did; its target gets the new line, unless the link
    // lies in a folder other users may write to (see PrivateFile::isLinkOthersControl). A new
    // file is its owner's alone; one already there keeps its rights.
    [[nodiscard]] SettingsReport Save(const DialerSettings& settings) const;

    [[nodiscard]] const QString& filePath() const { return m_filePath; }

    // Save makes the file's folder first when it is missing (a folder of the user's own).
    void setCreatesFolder(bool creates) { m_createsFolder = creates; }

private:
    QString m_filePath;
    bool m_createsFolder = false;
};
