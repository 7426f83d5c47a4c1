#include "link/d2xx.h"

#include <QByteArray>
#include <QList>

#include <cstring>

namespace qv {

namespace {
// The vendor documents 16 bytes for a serial number or 64 for a description; the program passes 100.
constexpr size_t kTextMax = 64;

void copyText(char* dst, const QByteArray& text)
{
    const size_t n = std::min(size_t(text.size()), kTextMax - 1);
    std::memcpy(dst, text.constData(), n);
    dst[n] = '\0';
}
}  // namespace

FtStatus listBySerials(const QList<QByteArray>& serials, void* arg1, void* arg2, uint32_t flags)
{
    if (flags & ft::LIST_NUMBER_ONLY) {
        if (!arg1)
            return ft::INVALID_PARAMETER;
        *static_cast<uint32_t*>(arg1) = uint32_t(serials.size());
        return ft::OK;
    }
    if (flags & ft::LIST_BY_INDEX) {
        const auto index = reinterpret_cast<uintptr_t>(arg1);
        if (!arg2)
            return ft::INVALID_PARAMETER;
        if (index >= uintptr_t(serials.size()))
            return ft::DEVICE_NOT_FOUND;
        copyText(static_cast<char*>(arg2), serials.at(qsizetype(index)));
        return ft::OK;
    }
    if (flags & ft::LIST_ALL) {
        if (!arg1 || !arg2)
            return ft::INVALID_PARAMETER;
        auto** buffers = static_cast<char**>(arg1);
        for (qsizetype i = 0; i < serials.size(); ++i)
            copyText(buffers[i], serials.at(i));
        *static_cast<uint32_t*>(arg2) = uint32_t(serials.size());
        return ft::OK;
    }
    return ft::INVALID_PARAMETER;
}

QByteArray openExText(const void* arg)
{
    if (!arg)
        return {};
    const char* text = static_cast<const char*>(arg);
    return QByteArray(text, qsizetype(strnlen(text, 100)));
}

}  // namespace qv
