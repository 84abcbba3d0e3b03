// SPDX-FileCopyrightText: 2026 dialer-config developers
//
// SPDX-License-Identifier: MIT

#pragma once

#include "ExchangeController.h"
#include "device/PortDiscovery.h"
#include "device/PortMap.h"
#include "device/SerialPort.h"
#include "settings/DialerSettings.h"
#include "settings/SettingsStore.h"

#include <QMap>
#include <QWidget>

#include <array>
#include <functional>
#include <optional>

class PortSelector;
class QLineEdit;

// The tool's one window: six text fields kept equal to the settings record, the port selector,
// Read, Save and Exit, and the maker's web link.
//
// Start: Form_Load loads the settings file, fills the fields and offers the ports that open.
// Exit writes the settings file, closes the port and closes the window; closing the window any
// other way writes nothing.
class Form1 : public QWidget, public ExchangeHost {
    Q_OBJECT

public:
    explicit Form1(QWidget *parent = nullptr);
    ~Form1() override;

    // Where the settings live; "Velkor.ini" in the current directory unless set before Form_Load.
    void setSettingsStore(SettingsStore store) { m_store = std::move(store); }
    // Where the ports COM1 to COM9 come from: the map file, or the devices present, looked at
    // when the window starts and again when the selector's list opens. Set before Form_Load.
    // The ports are tried apart and offered as each is found (PortProbe): nothing waits for them.
    void setPortSource(std::function<PortMap()> source) { m_portSource = std::move(source); }
    // A fixed set of ports.
    void setPortMap(const PortMap& map) {
        setPortSource([map] { return map; });
    }
    // Replaces the modal message box, for hosts that show messages their own way: a message is
    // taken as dismissed once the presenter returns.
    void setInfoPresenter(std::function<void(const QString&)> presenter);

    void Form_Load();

    [[nodiscard]] SerialPort& serialPort() { return m_exchange.port(); }
    [[nodiscard]] ExchangeController& exchange() { return m_exchange; }
    [[nodiscard]] static QString websiteUrl();

    // The parser's part of a verdict, applied to the window: CorrectData becomes 1 for a complete
    // read response, whose six values then fill the record and the six text fields (each field's
    // change handling applies), and 0 for any other parsed reply, which touches nothing. Verdicts
    // reached without a parse (no answer, saved) leave everything as it was.
    void SortLine(const Verdict& verdict);
    [[nodiscard]] qint16 CorrectData() const { return m_correctData; }

    // ExchangeHost
    [[nodiscard]] int selectedPort() const override;
    [[nodiscard]] const DialerSettings& settings() const override { return m_settings; }
    void showInfo(const QString& text, std::function<void()> dismissed = {}) override;

    // Whether the ports are still being tried (at start-up, or when the list opens).
    [[nodiscard]] bool isProbingPorts() const { return m_probe.isRunning(); }

Q_SIGNALS:
    // Exit has written the settings and the window is closing: the program ends.
    void unloaded();
    // The ports tried at start-up or when the list opened are all known.
    void portsProbed();

protected:
    void closeEvent(QCloseEvent *event) override;
    void changeEvent(QEvent *event) override;

private:
    void Text1Num_Change() { TextNum_Change(0); }
    void Text2Num_Change() { TextNum_Change(1); }
    void Text3Num_Change() { TextNum_Change(2); }
    void Text4Num_Change() { TextNum_Change(3); }
    void Text5Num_Change() { TextNum_Change(4); }
    void TextFreeNum_Change() { TextNum_Change(5); }
    void TextNum_Change(int field);
    void ExitCMD_Click();
    void Label10_Click();
    void Combo1_Change();
    void PortDiscovery();
    void refreshPorts();
    void offerPort(const ProbedPort& probed);
    void offerPorts(const QList<ProbedPort>& probed);
    void closePort();

    SettingsStore m_store;
    std::function<PortMap()> m_portSource = &PortMap::fromSystem;
    QMap<int, QString> m_portNotes; // why a present port is not offered
    QString m_selectorTip;          // the selector's own tooltip, before any notes
    DialerSettings m_settings;
    qint16 m_correctData = 0;
    std::function<void(const QString&)> m_infoPresenter;

    // Owns the serial port (MSComm1) and the timer (Timer1).
    ExchangeController m_exchange;
    PortProbe m_probe;
    bool m_startingUp = false; // the start-up probe is under way
    QString m_autoSelected;    // the selector's text as the start-up probe chose it

    std::array<QLineEdit *, DialerSettings::FieldCount> m_fields{};
    PortSelector *Combo1 = nullptr;
};
