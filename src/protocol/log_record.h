#pragma once
// One record of the instrument's error log as it sends it (at most 50 single-byte characters), and what of it
// is shown: the text from the first blank to the line feed. A record whose text starts with 'E' ends the log.

#include <QByteArray>

#include <array>

namespace qv {

struct LogRecordView {
    int textStart = 0;  // 1-based position of the first blank in 1..40, or 41
    int textEnd = 0;    // 1-based position of the line feed that ends the shown text (or where the search stopped)
    bool endOfLog = false;
    QByteArray shown;   // positions textStart..textEnd, cut off at the end of the record
};
LogRecordView parseLogRecord(const std::array<char, 50>& record);

}  // namespace qv
