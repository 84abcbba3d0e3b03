// SPDX-FileCopyrightText: 2026 dialer-config developers
//
// SPDX-License-Identifier: MIT

#pragma once

#include "ProcessControl.h"

#include <atomic>

// What the platform's handler of interruptions shares with the run.
namespace dialerctl::interruption {

// The first request's exit status; written by the handler, read by the main thread.
inline std::atomic<int> g_status{0};
inline Interruptions *g_instance = nullptr;

} // namespace dialerctl::interruption
