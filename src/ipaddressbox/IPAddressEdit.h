// SPDX-FileCopyrightText: 2026 dialer-config developers
//
// SPDX-License-Identifier: MIT

#pragma once

#include <QFrame>

#include <array>

class QLineEdit;

// Four fields of 0 to 255 separated by dots, edited the way people expect of an address field:
// digits only, a dot or a third digit moves on to the next field, Backspace in an empty field (or
// Left at a field's start) goes back, values above 255 are not accepted.
//
// Its address number has field a in bits 24-31 down to d in bits 0-7; a blank field counts as 0.
class IPAddressEdit : public QFrame {
    Q_OBJECT

public:
    static constexpr int FieldCount = 4;

    explicit IPAddressEdit(QWidget *parent = nullptr);

    [[nodiscard]] quint32 address() const;
    // How many fields hold a number.
    [[nodiscard]] int nonBlankFields() const;
    // Every field shows its byte as a decimal number.
    void setAddress(quint32 address);

    [[nodiscard]] QLineEdit *field(int index) const { return m_fields[std::size_t(index)]; }

Q_SIGNALS:
    // Once per change of the address, with the new address number: a write of all four fields
    // or one keystroke. Edits that leave the number as it was (a blank field becoming 0) raise
    // none.
    void addressChanged(quint32 address);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void moveTo(int index, bool selectAll, bool atEnd);
    void onEdited(int index);
    void notifyIfChanged();

    std::array<QLineEdit *, FieldCount> m_fields{};
    quint32 m_notified = 0; // the address last announced
    bool m_writing = false; // setAddress is filling the fields
};
