// SPDX-FileCopyrightText: 2026 dialer-config developers
//
// SPDX-License-Identifier: MIT

#pragma once

#include "CommandLine.h"
#include "Plan.h"
#include "Results.h"
#include "Targets.h"

#include <QList>

namespace dialerctl {

// What a run prints, and the exit status it ends with. Results go to standard output, as a table
// for people, JSON for scripts (UTF-8) or the settings-file line; a run that fails as a whole says
// why on standard error and, when JSON was asked for, in the same document results come in, so
// that a script reads one thing whatever happened. Output that cannot be written (a pipe closed
// early, a full disk under `> file`) fails the run, never silently.

[[nodiscard]] int reportEarly(Early early);
[[nodiscard]] int reportFailure(const RunFailure& failure, bool json, const QString& command);
[[nodiscard]] int reportPorts(const Invocation& invocation, const QList<PortState>& ports);
// `status` is the run's own: every port succeeded, one failed, or the interruption's.
[[nodiscard]] int reportResults(const Invocation& invocation, const QList<PortResult>& results,
                                int status);

} // namespace dialerctl
