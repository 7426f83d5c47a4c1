#include "session/instrument_thread.h"

#include "session/device_select.h"
#include "session/session.h"

namespace qv {

InstrumentThread::InstrumentThread(QString id) : id_(std::move(id))
{
    thread_.setObjectName(QStringLiteral("qv-") + id_);
}

InstrumentThread::~InstrumentThread() { stop(); }

bool InstrumentThread::open(const QString& device, const QByteArray& serial, QString* error)
{
    device_ = device;
    if (!thread_.isRunning()) {
        thread_.start();
        context_ = new QObject;
        context_->moveToThread(&thread_);
    }
    bool ok = false;
    // Made on the thread, so that the session's timers, the link's waits and the device belong to it from the
    // start (an object moved there later would leave its members behind).
    run([&] {
        auto made = makeDevice(device, error);
        if (!made)
            return;
        session_ = std::make_unique<Session>(std::move(made));
        session_->setInstrumentSerial(serial);
        ok = true;
    });
    return ok;
}

void InstrumentThread::run(const std::function<void()>& f)
{
    if (QThread::currentThread() == &thread_) {
        f();
        return;
    }
    QMetaObject::invokeMethod(context_, f, Qt::BlockingQueuedConnection);
}

void InstrumentThread::stop()
{
    if (!thread_.isRunning())
        return;
    // First the link stops, so that a wait in progress (an absence pause, the gap before a screen's blocks) ends
    // instead of spinning on. Nothing may be deleted here: this can run inside such a wait, which returns into
    // the session's own code.
    run([this] {
        if (session_)
            session_->endProgram();
    });
    // The rest once the thread's event loop has ended, outside every wait, still on the thread itself.
    QObject::connect(&thread_, &QThread::finished, context_, [this] {
        while (!atStop_.empty()) {
            const auto f = std::move(atStop_.back());
            atStop_.pop_back();
            f();
        }
        session_.reset();
    }, Qt::DirectConnection);
    thread_.quit();
    thread_.wait();
    delete context_;
    context_ = nullptr;
}

}  // namespace qv
