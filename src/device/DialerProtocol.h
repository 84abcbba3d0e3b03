// SPDX-FileCopyrightText: 2026 dialer-config developers
//
// SPDX-License-Identifier: MIT

#pragma once

#include "settings/DialerSettings.h"

#include <QString>
#include <QStringView>

#include <optional>

// The dialer's line protocol: short lines of text, each ended by CR LF, recognised by their
// characters alone (no checksum, length or numbering).
//
//   tool to device   "?6" CR LF                               asks for the six values
//   tool to device   "!" v1 "," v2 "," ... v6 "," CR LF       hands the device six values
//   device to tool   "OK" CR LF                               confirms a save
//   device to tool   any one character, then six values each followed by ",", then anything
namespace DialerProtocol {

[[nodiscard]] QString ReadRequest();
[[nodiscard]] QString Acknowledgement();

// The values go in unchanged: no quoting, escaping or trimming.
[[nodiscard]] QString SaveCommand(const DialerSettings& settings);

// Why the one-line protocol cannot carry a value: a comma or a line break inside it would shift the
// device's fields, and a character outside the line's code page cannot be sent.
enum class Unsendable { No, Separator, LineBreak, OutsideCodePage };
[[nodiscard]] Unsendable whyUnsendable(QStringView value);

// The position (1 to 6) of the first value of a save command the line cannot carry, or 0 when all
// are fine.
[[nodiscard]] int firstUnsendableValue(const DialerSettings& settings);

// Only the whole reply compared exactly, case included, is an acknowledgement.
[[nodiscard]] bool isAcknowledgement(QStringView reply);

// Reads a read response: the first character is skipped whatever it is; from the second on, the
// text is cut at commas into six values, the sixth followed by a comma too; what comes after that
// sixth comma is ignored. Nothing when fewer than six commas follow the first character.
[[nodiscard]] std::optional<DialerSettings> parseReadResponse(QStringView reply);

} // namespace DialerProtocol
