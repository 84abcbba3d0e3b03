// SPDX-FileCopyrightText: 2026 dialer-config developers
//
// SPDX-License-Identifier: MIT

#pragma once

#include <sys/types.h>

// The opening helpers started here and not reaped yet. Each is reaped the moment it ends: where
// the system gives a descriptor that tells it (pidfd), through that; elsewhere by a look now and
// then. As the program ends, those that have answered are waited for (a moment: they end at once
// after their answer) and reaped, so that none is left to the system's first process; a helper
// still waiting in the kernel is left to end by itself.
namespace HelperReaper {

// Takes a helper whose answer came (`answered`) or that was given up on.
void adopt(pid_t pid, bool answered);

} // namespace HelperReaper
