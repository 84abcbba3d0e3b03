// SPDX-FileCopyrightText: 2026 dialer-config developers
//
// SPDX-License-Identifier: MIT

#pragma once

#include "CommandLine.h"
#include "JobSteps.h"
#include "Log.h"
#include "Targets.h"

#include <QList>
#include <QString>

#include <memory>
#include <variant>

namespace dialerctl {

// A run that fails as a whole, before any port is touched: why, in a word for scripts (usage,
// input, no-port) and in a sentence for people, and the exit status.
struct RunFailure {
    QString reason;
    QString text;
    int status = ExitStatus::UsageOrInput;
};

// What the user gave, read and checked: the port map, and the values of a write or an apply.
// Everything that can be refused about them is refused here, before any port is touched.
struct Inputs {
    PortMap map;
    PortPlan job;
};
[[nodiscard]] std::variant<Inputs, RunFailure> readInputs(const Invocation& invocation);

// The run as it will go: the ports it works on, each with the same job, and the log it keeps.
struct Plan {
    QList<Target> targets;
    PortPlan job;
    std::unique_ptr<ExchangeLog> log; // none without --log
};
// Selects the ports (a probe, for "all") and opens the log, once the run is sure to go ahead: a
// refused run leaves no file behind.
[[nodiscard]] std::variant<Plan, RunFailure> planRun(const Invocation& invocation, Inputs inputs);

} // namespace dialerctl
