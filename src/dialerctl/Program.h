// SPDX-FileCopyrightText: 2026 dialer-config developers
//
// SPDX-License-Identifier: MIT

#pragma once

#include <QStringList>

namespace dialerctl {

// The whole program, after the application object exists: parses the arguments, talks to the
// selected dialers, prints the results and returns the exit status (0 every port succeeded, 1 at
// least one failed, 2 a usage or input error, in which case nothing was sent).
[[nodiscard]] int run(const QStringList& arguments);

} // namespace dialerctl
