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

// The window's rule: the judgement of everything collected in one exchange, on the reply alone,
// whichever command went out, tested in this order: nothing at all is no answer; exactly "OK"
// CR LF (the whole text, case included) is saved; a complete read response is read, with its six
// values; anything else is check-fields.
[[nodiscard]] Verdict judgeReply(QStringView reply);

// The command that went out.
enum class Sent { ReadRequest, SaveCommand };

// A command-line run's rule: the reply judged as the answer to the command that went out. A save
// is answered by the acknowledgement and nothing else, and the acknowledgement after a read is no
// reading; six values after a save mean the dialer did not take the command as a save. A reading
// with a line break in a value is none either: a line that echoes the command back, or a reply run
// together with another. Each is a garbled reply (check-fields); silence stays no answer.
[[nodiscard]] Verdict judgeAnswer(Sent sent, QStringView reply);

// The message box text for an outcome; lines are joined by CR LF.
[[nodiscard]] QString outcomeMessage(Outcome outcome);
