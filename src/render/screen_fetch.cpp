#include "render/screen_fetch.h"

#include "link/reply_reader.h"
#include "link/usb_link.h"
#include "protocol/commands.h"
#include "meters/level_bars.h"
#include "render/graticule_dispatch.h"
#include "render/pixel_decoder.h"
#include "render/screen_picture.h"
#include "state/panel_model.h"

#include <QCoreApplication>
#include <QElapsedTimer>

namespace qv {

using namespace Qt::StringLiterals;

namespace {
constexpr uint32_t kHeaderTimeoutMs = 100, kBlockTimeoutMs = 500;
}  // namespace

ScreenFetch::ScreenFetch(UsbLink& link, ScreenPicture& picture, QObject* parent)
    : QObject(parent), link_(link), picture_(picture)
{
}

void ScreenFetch::captureWithWindow(const char* reason)
{
    windowWanted_ = true;  // a click brings the picture up, even for a fetch the watch had already asked for
    request(reason);
}

void ScreenFetch::fetchWithoutWindow(const char* reason)
{
    if (!running_ && !queued_)
        windowWanted_ = false;
    request(reason);
}

void ScreenFetch::request(const char* reason)
{
    if (running_ || queued_)
        return;
    reason_ = reason;
    queued_ = true;
    link_.whenFree([this] {
        queued_ = false;
        run();
    });
}

void ScreenFetch::fail(ErrorKind kind, const QString& text)
{
    clean_ = false;
    link_.noteFailure(kind);
    link_.panel().setStatusText(text);
}

void ScreenFetch::run()
{
    PanelModel& panel = link_.panel();
    running_ = true;
    clean_ = true;
    link_.beginExchange();
    QElapsedTimer took;
    took.start();
    const auto watch = connect(&panel, &PanelModel::statusTextWritten, this, [this](const QString& text) {
        // The link's own failure messages (open, write) count as failures of this fetch too.
        if (!text.trimmed().isEmpty())
            clean_ = false;
    });
    panel.setBusyPointer(PointerOwner::Download, true);

    FtStatus closed = ft::OK;
    QString runTimeFailure;
    {
        UsbLink::Hold hold(link_);  // no key, poll or other transfer touches the device until the close
        try {
            closed = exchange();
        } catch (...) {
            // A run-time failure (out of memory, a driver that throws) ends the fetch the way it ends the log
            // fetch: the device closed, the transfer over, the pointer back, and the failure shown.
            runTimeFailure = u"USB Error %1: screen transfer stopped"_s.arg(runTimeErrorNumber());
            link_.setTransferBusy(false);
            closed = link_.closeAfterFailure();
        }
    }
    if (!runTimeFailure.isEmpty())
        fail(ErrorKind::Internal, closed == ft::OK ? runTimeFailure : runTimeFailure + u"\r\nUSB Close Failed"_s);
    else if (closed != ft::OK)
        fail(ErrorKind::CloseFailed, u"USB Close Failed"_s);
    panel.setBusyPointer(PointerOwner::Download, false);
    disconnect(watch);
    running_ = false;
    durationMs_ = took.elapsed();
    outcome_ = link_.exchangeOutcome();
    if (!clean_ && outcome_.ok())  // a failure only the status box saw
        outcome_ = Outcome::failure(ErrorKind::DeviceError, panel.statusText().trimmed());
    emit finished();
}

FtStatus ScreenFetch::exchange()
{
    PanelModel& panel = link_.panel();
    D2xx& dev = link_.device();
    link_.openDevice();
    link_.setTransferBusy(true);
    QString& log = panel.statusLog();
    const bool signal = signalPresent();
    panel.setStatusText(QString(23, u' '));
    link_.sendCode(wire::kStartScreen);
    if (dev.SetTimeouts(link_.handle(), kHeaderTimeoutMs, 0) != ft::OK) {
        link_.noteFailure(ErrorKind::DeviceError);
        log += u"USB SetTimeout Failed\r\n"_s;
        panel.setStatusText(log);
        clean_ = false;
        link_.setTransferBusy(false);
        return link_.closeDevice();
    }
    uint32_t got = 0;
    const FtStatus st = dev.Read(link_.handle(), link_.replyBuffer().data(), wire::kScreenHeaderBytes, &got);
    link_.bytesRead() = int32_t(got);
    if (st != ft::OK || got < uint32_t(wire::kScreenHeaderBytes)) {
        link_.noteFailure(st != ft::OK ? ErrorKind::ReadFailed : ErrorKind::TimeOut);
        // A short header would otherwise be decoded from whatever an earlier read left in the buffer.
        log += st != ft::OK ? u"USB Read Failed\r\n"_s : u"Screen header incomplete: %1 of 5 bytes\r\n"_s.arg(got);
        panel.setStatusText(log);
        clean_ = false;
    } else {
        if (windowWanted_)
            emit showDownload();
        header_ = decodeScreenHeader(link_.replyBuffer().data());
        DrawGraticule(picture_.surface(), header_.screenType, signal, clock());
        if (signal)
            DrawLevelBars(picture_.surface(), header_.screenType, header_.levels);
        picture_.touch();
    }
    if (signal)
        blockPhase();
    link_.sendCode(wire::kEndScreen);
    link_.setTransferBusy(false);
    panel.setMenuEnabled(Menu::Reverse, true);
    panel.setMenuEnabled(Menu::PrintFrame, true);
    return link_.closeDevice();
}

void ScreenFetch::blockPhase()
{
    D2xx& dev = link_.device();
    link_.Wait(pauseBeforeBlocksMs);

    // The instrument may stop sending at any point (unplugged, powered off): the fetch gives up after a
    // stretch of silence, counted over the whole transfer rather than per block.
    ReplyReader reader(link_, silenceLimitMs);
    // A failed queue query is shown and the wait goes on: the next query may work, and silence bounds it.
    reader.onQueueFailure = [this] {
        fail(ErrorKind::DeviceError, u"Queue Read Failed"_s);
        return true;
    };
    const auto stopSilent = [&] {
        fail(ErrorKind::TimeOut, u"No data from QV7700 for %1 seconds: screen transfer stopped"_s.arg(silenceLimitMs / 1000));
    };

    for (int block = 0; block < kBlockCount; ++block) {
        // The program is ending: the rest of the screen is not asked for; the end key still tells the
        // instrument that the transfer is over.
        if (link_.stopping()) {
            link_.noteFailure(ErrorKind::Cancelled);
            clean_ = false;
            return;
        }
        link_.sendCode(wire::kNextBlock);
        if (dev.SetTimeouts(link_.handle(), kBlockTimeoutMs, 0) != ft::OK) {
            fail(ErrorKind::DeviceError, u"SetTimeout Failed"_s);
            return;
        }
        // QueuedBytes keeps its value between blocks and transfers: once a query has seen a whole block
        // waiting, later blocks go straight to the read.
        uint32_t got = 0;
        switch (reader.read(link_.replyBuffer().data(), kReplyBufferSize, wire::kBlockReady, &got)) {
        case ReplyReader::Outcome::Silent:
            stopSilent();
            return;
        case ReplyReader::Outcome::ReadFailed:
            fail(ErrorKind::ReadFailed, u"Read Failed"_s);
            break;
        case ReplyReader::Outcome::QueueFailed:  // not with the handler above: it keeps waiting
            break;
        case ReplyReader::Outcome::Read:
            picture_.surface().finish();
            decodeBlock(picture_.surface().image(), block, link_.replyBuffer().data(), int(got));
            picture_.touch(QRect(0, kBlockRows * block, kPictureWidth, kBlockRows + int(got) / kRowBytes));
            emit progress(block + 1, kBlockCount);
            break;
        }
        // Between blocks the window stays alive: it repaints, and a close or Exit ends the transfer at the next
        // block. Nothing else can touch the device meanwhile: keys and transfers wait for it, the poll skips,
        // and the commands that use the picture or the status box wait for the transfer.
        QCoreApplication::processEvents();
        if (reader.silenceExpired()) {
            stopSilent();
            return;
        }
    }
}

}  // namespace qv
