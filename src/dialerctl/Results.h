// SPDX-FileCopyrightText: 2026 dialer-config developers
//
// SPDX-License-Identifier: MIT

#pragma once

#include "Targets.h"
#include "device/Outcome.h"
#include "settings/DialerSettings.h"

#include <QDateTime>
#include <QString>

#include <optional>

namespace dialerctl {

// What the process exits with.
namespace ExitStatus {
inline constexpr int Success = 0;      // every port succeeded
inline constexpr int PortFailed = 1;   // at least one port failed, or none opens
inline constexpr int UsageOrInput = 2; // a usage or input error: nothing was sent
} // namespace ExitStatus

// How a port's job ended, or one of its exchanges. Each has one name, the same in the table, the
// JSON and the log (name()).
enum class PortOutcome {
    Read,
    Saved,
    Verified,
    NoAnswer,
    CheckFields,
    Mismatch,
    PortError,   // the port did not open, took no command, or was lost during an exchange
    Refused,     // nothing was sent: the adapter is not the one expected, or a backup failed
    Interrupted, // a signal stopped the run
    Unchanged,   // apply: the dialer already holds the wanted values
    Changed,     // apply: written, read back and verified
    WouldChange, // apply --check
};

// Why a port failed, in words that do not depend on the language.
enum class Reason {
    None,
    NoAnswer,
    CheckFields,
    Mismatch,
    Busy,
    Denied,
    Missing,
    Lost,
    Timeout,
    Partial,
    Io,
    Interrupted,
    Identity,
    Backup,
};

[[nodiscard]] QString name(PortOutcome outcome);
[[nodiscard]] QString name(Reason reason);
// The outcome of an exchange the verdict alone gives: read, saved, no-answer, check-fields.
[[nodiscard]] PortOutcome outcomeOf(Outcome verdict);

// The exchanges of a job, in order.
enum class Step { Read, Write, Verify };

// How one port ended.
struct PortResult {
    Target target;
    PortOutcome outcome = PortOutcome::Interrupted;
    QString message; // the window's text for the verdict, or why the port failed
    Reason reason = Reason::None;
    std::optional<DialerSettings> valuesRead; // the six values a read returned, if one did
    std::optional<DialerSettings> written;    // the six values a save command carried
    std::optional<DialerSettings> before;     // what the dialer held before any save
    std::optional<DialerSettings> after;      // what it holds after, where that is known
    bool saveSent = false;                    // a save command went out, whatever came of it
    bool changed = false;                     // the dialer took a save that changed its values
    QString backupFile;                       // where the values before a change were kept
    PortMap::Adapter adapter;
    bool success = false;
};

// One exchange, as the log keeps it.
struct ExchangeRecord {
    QDateTime at;
    Target target;
    Step step = Step::Read; // logged as the command that went out: read (a verify too) or write
    int attempt = 1;
    PortOutcome outcome = PortOutcome::NoAnswer;
    std::optional<DialerSettings> valuesRead;
    std::optional<DialerSettings> written;
};

} // namespace dialerctl
