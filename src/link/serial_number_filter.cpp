#include "link/serial_number_filter.h"


#include <array>
#include <cstring>

namespace qv {

using namespace Qt::StringLiterals;

SerialNumberFilter::SerialNumberFilter(std::unique_ptr<D2xx> inner, QByteArray serial)
    : inner_(std::move(inner)), serial_(std::move(serial))
{
}

QList<QByteArray> SerialNumberFilter::attachedSerials()
{
    QList<QByteArray> serials;
    uint32_t count = 0;
    if (inner_->ListDevices(&count, nullptr, ft::LIST_NUMBER_ONLY) != ft::OK)
        return serials;
    for (uint32_t i = 0; i < count; ++i) {
        // The vendor library writes at most 64 bytes of serial number; the rest stays zero.
        std::array<char, 128> buffer{};
        if (inner_->ListDevices(reinterpret_cast<void*>(uintptr_t(i)), buffer.data(),
                                ft::LIST_BY_INDEX | ft::OPEN_BY_SERIAL_NUMBER) == ft::OK)
            serials.append(QByteArray(buffer.data(), qsizetype(strnlen(buffer.data(), buffer.size() - 1))));
    }
    return serials;
}

FtStatus SerialNumberFilter::ListDevices(void* arg1, void* arg2, uint32_t flags)
{
    if (serial_.isEmpty())
        return inner_->ListDevices(arg1, arg2, flags);
    // Descriptions are not filtered: the list is by serial number, the only thing that tells converters apart.
    if ((flags & ft::LIST_BY_INDEX) && !(flags & ft::OPEN_BY_SERIAL_NUMBER))
        return ft::INVALID_PARAMETER;
    QList<QByteArray> serials;
    if (attachedSerials().contains(serial_))
        serials.append(serial_);
    return listBySerials(serials, arg1, arg2, flags);
}

FtStatus SerialNumberFilter::Open(int index, FtHandle* handle)
{
    if (serial_.isEmpty())
        return inner_->Open(index, handle);
    if (index != 0)
        return ft::DEVICE_NOT_FOUND;
    return inner_->OpenEx(serial_.data(), ft::OPEN_BY_SERIAL_NUMBER, handle);
}

FtStatus SerialNumberFilter::OpenEx(void* arg, uint32_t flags, FtHandle* handle)
{
    if (!serial_.isEmpty() && (flags != ft::OPEN_BY_SERIAL_NUMBER || openExText(arg) != serial_))
        return ft::DEVICE_NOT_FOUND;
    return inner_->OpenEx(arg, flags, handle);
}

QString SerialNumberFilter::describe() const
{
    if (serial_.isEmpty())
        return inner_->describe();
    return u"%1, the converter with serial number %2"_s.arg(inner_->describe(), QString::fromLatin1(serial_));
}

}  // namespace qv
