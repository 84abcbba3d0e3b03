// SPDX-FileCopyrightText: 2026 dialer-config developers
//
// SPDX-License-Identifier: MIT

// ipaddress-demo: the IPv4 address entry component on a window of its own, with both of its forms
// shown live and a field to write either form.

#include "ipaddressbox/IPAddressBox.h"

#include <QApplication>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QWidget>

int main(int argc, char **argv) {
    QApplication app(argc, argv);
    QWidget window;
    window.setWindowTitle(QStringLiteral("IPAddressBox"));
    auto *form = new QFormLayout(&window);

    auto *box = new IPAddressBox(&window);
    auto *asLong = new QLabel(&window);
    auto *asString = new QLabel(&window);
    auto *input = new QLineEdit(&window);
    input->setPlaceholderText(QStringLiteral("10.0.0.1, 0x7f.1, -939415360 ..."));
    auto *writeString = new QPushButton(QStringLiteral("Write as text"), &window);
    auto *writeLong = new QPushButton(QStringLiteral("Write as integer"), &window);

    form->addRow(QStringLiteral("Address:"), box);
    form->addRow(QStringLiteral("IPAddressAsLong:"), asLong);
    form->addRow(QStringLiteral("IPAddressAsString:"), asString);
    form->addRow(QStringLiteral("Value:"), input);
    form->addRow(writeString, writeLong);

    const auto refresh = [=] {
        asLong->setText(QString::number(box->IPAddressAsLong()));
        asString->setText(box->IPAddressAsString());
    };
    QObject::connect(box, &IPAddressBox::addressChanged, box, refresh);
    QObject::connect(writeString, &QPushButton::clicked, box,
                     [=] { box->setIPAddressAsString(input->text()); });
    QObject::connect(writeLong, &QPushButton::clicked, box,
                     [=] { box->setIPAddressAsLong(input->text().toInt()); });
    refresh();
    window.show();
    return QApplication::exec();
}
