#pragma once
// How one exchange with the instrument ended, as a value: what kind of failure (if any), and the instrument's
// text for it, exactly as the status box shows it. Front ends decide by the kind; people read the text.

#include <QString>

namespace qv {

enum class ErrorKind {
    None,
    Absent,       // no converter answered: unplugged, switched off, or held by another program
    Busy,         // the instrument cannot do it now (a transfer of the same kind is under way)
    TimeOut,      // the instrument stopped answering, or answered short
    WriteFailed,  // a message could not be sent
    ReadFailed,   // a read from the converter failed
    CloseFailed,  // the converter would not close after the exchange
    DeviceError,  // another call to the converter failed (its time-outs, its queue)
    Cancelled,    // the program is ending
    BadReply,     // the answer made no sense
    NotOffered,   // the page shown has nothing of the kind (the picture page has no screen to capture)
    Internal,     // a run-time failure inside the program
};

// A short lower-case name for machines: "absent", "time-out", "write-failed", ...
const char* errorKindName(ErrorKind kind);

struct Outcome {
    ErrorKind kind = ErrorKind::None;
    QString text;  // the status box's words for the failure; empty on success

    bool ok() const { return kind == ErrorKind::None; }
    static Outcome failure(ErrorKind kind, const QString& text) { return {kind, text}; }
};

}  // namespace qv
