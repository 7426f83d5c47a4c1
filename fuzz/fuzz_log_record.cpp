// Any 50 bytes as a log record: the shown text must stay inside the record.

#include "logger/error_log.h"

#include <cstdlib>
#include <cstring>

using namespace qv;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    std::array<char, 50> record{};
    std::memcpy(record.data(), data, std::min<size_t>(size, record.size()));
    const LogRecordView v = parseLogRecord(record);
    if (v.textStart < 1 || v.textStart > 41 || v.shown.size() > 50 || v.shown.size() > 51 - v.textStart)
        std::abort();
    if (!v.shown.isEmpty() && std::memcmp(v.shown.constData(), record.data() + v.textStart - 1, size_t(v.shown.size())))
        std::abort();
    return 0;
}
