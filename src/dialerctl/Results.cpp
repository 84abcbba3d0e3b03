// SPDX-FileCopyrightText: 2026 dialer-config developers
//
// SPDX-License-Identifier: MIT

#include "Results.h"

namespace dialerctl {

QString name(PortOutcome outcome) {
    switch (outcome) {
    case PortOutcome::Read:
        return QStringLiteral("read");
    case PortOutcome::Saved:
        return QStringLiteral("saved");
    case PortOutcome::Verified:
        return QStringLiteral("verified");
    case PortOutcome::NoAnswer:
        return QStringLiteral("no-answer");
    case PortOutcome::CheckFields:
        return QStringLiteral("check-fields");
    case PortOutcome::Mismatch:
        return QStringLiteral("mismatch");
    case PortOutcome::PortError:
        return QStringLiteral("port-error");
    case PortOutcome::Refused:
        return QStringLiteral("refused");
    case PortOutcome::Interrupted:
        return QStringLiteral("interrupted");
    case PortOutcome::Unchanged:
        return QStringLiteral("unchanged");
    case PortOutcome::Changed:
        return QStringLiteral("changed");
    case PortOutcome::WouldChange:
        return QStringLiteral("would-change");
    }
    return {};
}

QString name(Reason reason) {
    switch (reason) {
    case Reason::None:
        return {};
    case Reason::NoAnswer:
        return QStringLiteral("no-answer");
    case Reason::CheckFields:
        return QStringLiteral("check-fields");
    case Reason::Mismatch:
        return QStringLiteral("mismatch");
    case Reason::Busy:
        return QStringLiteral("busy");
    case Reason::Denied:
        return QStringLiteral("denied");
    case Reason::Missing:
        return QStringLiteral("missing");
    case Reason::Lost:
        return QStringLiteral("lost");
    case Reason::Timeout:
        return QStringLiteral("timeout");
    case Reason::Partial:
        return QStringLiteral("partial");
    case Reason::Io:
        return QStringLiteral("io");
    case Reason::Interrupted:
        return QStringLiteral("interrupted");
    case Reason::Identity:
        return QStringLiteral("identity");
    case Reason::Backup:
        return QStringLiteral("backup");
    }
    return {};
}

PortOutcome outcomeOf(Outcome verdict) {
    switch (verdict) {
    case Outcome::NoAnswer:
        return PortOutcome::NoAnswer;
    case Outcome::Saved:
        return PortOutcome::Saved;
    case Outcome::Read:
        return PortOutcome::Read;
    case Outcome::CheckFields:
        break;
    }
    return PortOutcome::CheckFields;
}

} // namespace dialerctl
