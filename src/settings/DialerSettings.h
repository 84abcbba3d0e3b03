// SPDX-FileCopyrightText: 2026 dialer-config developers
//
// SPDX-License-Identifier: MIT

#pragma once

#include <QString>

#include <array>

// The dialer's six values: five numbers it dials and the "free SMS" service code. The order
// below is the order of the settings file, of the save command, of the read response and of the
// six text fields.
struct DialerSettings {
    QString PhoneNum1;
    QString PhoneNum2;
    QString PhoneNum3;
    QString PhoneNum4;
    QString PhoneNum5;
    QString FreeNum;

    static constexpr int FieldCount = 6;

    // The values a first start shows when there is no settings file yet.
    [[nodiscard]] static DialerSettings defaults();

    // Positional access, 0 to 5, in the order above.
    [[nodiscard]] QString& operator[](int index);
    [[nodiscard]] const QString& operator[](int index) const;

    friend bool operator==(const DialerSettings&, const DialerSettings&) = default;

private:
    static constexpr std::array<QString DialerSettings::*, FieldCount> fields{
        &DialerSettings::PhoneNum1, &DialerSettings::PhoneNum2, &DialerSettings::PhoneNum3,
        &DialerSettings::PhoneNum4, &DialerSettings::PhoneNum5, &DialerSettings::FreeNum};
};
