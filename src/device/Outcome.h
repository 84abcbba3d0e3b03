// SPDX-FileCopyrightText: 2026 dialer-config developers
//
// SPDX-License-Identifier: MIT

#pragma once

#include "settings/DialerSettings.h"

#include <QString>
#include <QStringView>

#include <optional>

// How one exchange ends, judged on everything the device sent within the collection window.
enum class Outcome {
    NoAnswer,    // nothing arrived
    Saved,       // exactly the acknowledgement arrived
    Read,        // a complete read response arrived
    CheckFields, // something else arrived
};

struct Verdict {
    Outcome outcome = Outcome::NoAnswer;
    std::optional<DialerSettings> values; // the six values, for Outcome::Read only

    // Read and CheckFields come from the read-response parser; the other two from the reply's
    // form alone, without a parse.
    [[nodiscard]] bool parsed() const {
        return outcome == Outcome::Read || outcome == Outcome::CheckFields;
    }
};

// The judgement of everything collected in one exchange, tested in this order: nothing at all is
// no answer; exactly "OK" CR LF (the whole text, case included) is saved; a complete read
// response is read, with its six values; anything else is check-fields.
[[nodiscard]] Verdict judgeReply(QStringView reply);

// The message box text for an outcome; lines are joined by CR LF.
[[nodiscard]] QString outcomeMessage(Outcome outcome);
