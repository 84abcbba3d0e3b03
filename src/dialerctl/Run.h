// SPDX-FileCopyrightText: 2026 dialer-config developers
//
// SPDX-License-Identifier: MIT

#pragma once

#include "Plan.h"
#include "ProcessControl.h"
#include "Results.h"

#include <QList>

namespace dialerctl {

struct RunResults {
    QList<PortResult> ports; // one per target, in order
    int status = ExitStatus::Success;
};

// Runs the plan's job on every port at once, as many side by side as the process may hold ports
// open, with a live status line per port on a terminal and a log line per exchange. A request to
// stop (`interruptions`) ends it in order. The status: every port succeeded, one failed (or a log
// line was lost), or the interruption's.
[[nodiscard]] RunResults runPlan(Plan& plan, const Interruptions& interruptions);

} // namespace dialerctl
