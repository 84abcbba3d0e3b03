// SPDX-FileCopyrightText: 2026 dialer-config developers
//
// SPDX-License-Identifier: MIT

#include "Platform.h"

namespace Platform {

void prepare(int, char **) {}

} // namespace Platform
