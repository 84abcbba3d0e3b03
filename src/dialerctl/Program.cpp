// SPDX-FileCopyrightText: 2026 dialer-config developers
//
// SPDX-License-Identifier: MIT

#include "Program.h"

#include "CommandLine.h"
#include "Plan.h"
#include "ProcessControl.h"
#include "Report.h"
#include "Run.h"

namespace dialerctl {

// The arguments pass through once: parsed into an invocation, planned (the inputs read and
// checked, the ports selected), run, reported.
int run(const QStringList& arguments) {
    const ParseResult parsed = parseCommandLine(arguments);
    if (const auto *early = std::get_if<Early>(&parsed))
        return reportEarly(*early);
    if (const auto *error = std::get_if<UsageError>(&parsed))
        return reportFailure({error->reason, error->text, ExitStatus::UsageOrInput}, error->json,
                             error->command);
    const Invocation& invocation = std::get<Invocation>(parsed);
    const bool json = invocation.format == Format::Json;
    const auto failed = [&](const RunFailure& failure) {
        return reportFailure(failure, json, commandName(invocation.command));
    };

    std::variant<Inputs, RunFailure> inputs = readInputs(invocation);
    if (const auto *failure = std::get_if<RunFailure>(&inputs))
        return failed(*failure);
    if (invocation.command == Command::Ports)
        return reportPorts(invocation, listPorts(std::get<Inputs>(inputs).map));

    // From here on a Ctrl-C, a SIGTERM or a dropped session ends the run in order.
    const Interruptions interruptions;
    std::variant<Plan, RunFailure> plan = planRun(invocation, std::move(std::get<Inputs>(inputs)));
    if (const auto *failure = std::get_if<RunFailure>(&plan))
        return failed(*failure);
    const RunResults results = runPlan(std::get<Plan>(plan), interruptions);
    return reportResults(invocation, results.ports, results.status);
}

} // namespace dialerctl
