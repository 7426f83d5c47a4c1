#include "protocol/log_record.h"

#include <algorithm>

namespace qv {

namespace {
constexpr int kScanLimit = 40;  // blanks and line feeds are looked for in the first 40 characters

char at(const std::array<char, 50>& r, int position)
{
    return position >= 1 && position <= 50 ? r[size_t(position - 1)] : '\0';
}
}  // namespace

LogRecordView parseLogRecord(const std::array<char, 50>& r)
{
    LogRecordView v;
    int p = 1;
    while (at(r, p) != ' ') {
        ++p;
        if (p > kScanLimit)
            break;
    }
    v.textStart = p;
    v.endOfLog = at(r, v.textStart + 1) == 'E';
    // The end is looked for from 30 characters on; that first look happens even beyond position 40.
    p = v.textStart + 30;
    while (at(r, p) != '\n') {
        ++p;
        if (p > kScanLimit)
            break;
    }
    v.textEnd = p;
    const int last = std::min(v.textEnd, 50);
    if (last >= v.textStart)
        v.shown = QByteArray(r.data() + v.textStart - 1, last - v.textStart + 1);
    return v;
}

}  // namespace qv
