#include "app/remote.h"

#include <cstring>

namespace qv {

using namespace Qt::StringLiterals;

namespace {
constexpr int kPollIntervalMs = 1000;
constexpr int kExitPauseMs = 100;
}  // namespace

Remote::Remote(std::unique_ptr<D2xx> device, QObject* parent)
    : QObject(parent),
      device_(std::make_unique<SerialNumberFilter>(std::move(device), QByteArray())),
      link_(state_, panel_, *device_),
      poll_(link_),
      keys_(link_, timer3_),
      fetch_(link_, picture_),
      log_(link_)
{
    timer3_.setInterval(kPollIntervalMs);
    connect(&timer3_, &QTimer::timeout, this, [this] { poll_.Timer3_Timer(); });
}

Remote::~Remote() = default;

QString Remote::serialNumber() const
{
    if (!device_->serial().isEmpty())
        return QString::fromLatin1(device_->serial());
    return QString::fromLatin1(state_.SerialNumber.data(), qsizetype(strnlen(state_.SerialNumber.data(), state_.SerialNumber.size())));
}

void Remote::Form_Load()
{
    state_.PrinterIndex = 0;
    panel_.setMenuEnabled(Menu::PrintFrame, false);
    panel_.setMenuEnabled(Menu::Reverse, false);
    panel_.setMenuEnabled(Menu::PrintLog, false);
    timer3_.start();
}

void Remote::cmdExit_Click()
{
    link_.Wait(kExitPauseMs);
    endProgram();
}

void Remote::endProgram()
{
    if (link_.stopping())
        return;
    link_.stop();
    timer3_.stop();
    emit exitRequested();
}

void Remote::mnuClear_Click()
{
    link_.whenFree([this] {
        state_.StatusLog = u" "_s;
        panel_.setStatusText(state_.StatusLog);
        panel_.setMenuEnabled(Menu::PrintLog, false);
    });
}

void Remote::downloadWindowClosed()
{
    panel_.setMenuEnabled(Menu::PrintFrame, false);
    panel_.setMenuEnabled(Menu::Reverse, false);
}

}  // namespace qv
