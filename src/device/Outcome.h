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

// The first two outcomes follow from the reply's form alone; the rest need the parser.
enum class ReplyKind { Empty, Acknowledgement, Other };

[[nodiscard]] ReplyKind classifyReply(QStringView reply);

struct Verdict {
    Outcome outcome = Outcome::NoAnswer;
    std::optional<DialerSettings> values; // set for Outcome::Read
};

// The whole judgement of a collected reply, without touching any window.
[[nodiscard]] Verdict judgeReply(QStringView reply);

// The message box text for an outcome; lines are joined by CR LF.
[[nodiscard]] QString outcomeMessage(Outcome outcome);
