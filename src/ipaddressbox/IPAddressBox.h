// SPDX-FileCopyrightText: 2026 dialer-config developers
//
// SPDX-License-Identifier: MIT

#pragma once

#include <QWidget>

#include <functional>

class IPAddressEdit;

// A reusable entry for one IPv4 address, offered to its host in two forms:
//  - IPAddressAsLong: the integer form a + b*2^8 + c*2^16 + d*2^24 of the address a.b.c.d, signed
//    (10.0.0.1 is 16777226, 192.168.1.200 is -939415360);
//  - IPAddressAsString: dotted decimal. Writing takes every text form of inet_addr (a.b.c.d,
//    a.b.c, a.b, a; decimal, octal, hexadecimal); text it rejects becomes all ones,
//    255.255.255.255, as inet_addr has it.
// A blank field reads as 0. The component keeps a fixed extent of 120 x 22 pixels (1800 x 330
// twips) whatever size its host asks for.
class IPAddressBox : public QWidget {
    Q_OBJECT
    Q_PROPERTY(
        qint32 IPAddressAsLong READ IPAddressAsLong WRITE setIPAddressAsLong NOTIFY addressChanged)
    Q_PROPERTY(QString IPAddressAsString READ IPAddressAsString WRITE setIPAddressAsString NOTIFY
                   addressChanged)

public:
    static constexpr int WidthPixels = 120;
    static constexpr int HeightPixels = 22;
    static constexpr int WidthTwips = WidthPixels * 15;
    static constexpr int HeightTwips = HeightPixels * 15;

    // Makes the inner editor; a factory that returns nullptr stands for an editor that could not
    // be made, and the component then reads 0 and ignores writes.
    using EditorFactory = std::function<IPAddressEdit *(QWidget *parent)>;

    explicit IPAddressBox(QWidget *parent = nullptr);
    explicit IPAddressBox(const EditorFactory& makeEditor, QWidget *parent = nullptr);
    ~IPAddressBox() override;

    [[nodiscard]] qint32 IPAddressAsLong() const;
    void setIPAddressAsLong(qint32 newIP);
    [[nodiscard]] QString IPAddressAsString() const;
    void setIPAddressAsString(const QString& newIP);

    [[nodiscard]] IPAddressEdit *editor() const { return m_editor; }
    [[nodiscard]] QSize sizeHint() const override;

Q_SIGNALS:
    // Once per change of the address, carrying its integer form (IPAddressAsLong): a write of
    // either property raises one, and so does a keystroke that changes the address.
    void addressChanged(qint32 IPAddressAsLong);

protected:
    void resizeEvent(QResizeEvent *event) override;

private:
    void UserControl_Initialize(const EditorFactory& makeEditor);

    IPAddressEdit *m_editor = nullptr; // owned as a child; nullptr when it could not be made
};
