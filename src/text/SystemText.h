// SPDX-FileCopyrightText: 2026 dialer-config developers
//
// SPDX-License-Identifier: MIT

#pragma once

#include <QString>

// The words the system gives for a failure (Qt's and the C library's, in English unless the
// desktop speaks Russian) in Russian, for the messages the user reads: every message of the tool
// is Russian, and a reason in another language inside one reads as a fault of its own.
namespace SystemText {

// The common reasons in Russian; text already in Russian as it is; anything else kept, marked as
// the system's own words.
[[nodiscard]] QString inRussian(const QString& systemText);

// The system's error number in words: on Windows a GetLastError() code, elsewhere an errno. The
// errors a user meets with ports and files in Russian, whatever the system's language; others in
// the system's words with the number; no number (0) as a reason the system did not give.
[[nodiscard]] QString fromCode(unsigned long code);

// The system's words without their trailing full stop, for a sentence that ends in its own.
[[nodiscard]] QString withoutFullStop(const QString& systemText);

} // namespace SystemText
