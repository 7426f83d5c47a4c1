#include "session/status_poll.h"

#include "link/usb_link.h"
#include "protocol/commands.h"
#include "session/panel_update.h"
#include "state/panel_model.h"
#include "state/shared_state.h"

namespace qv {

using namespace Qt::StringLiterals;

namespace {
constexpr uint32_t kReplyTimeoutMs = 500;
}  // namespace

bool StatusPoll::instrumentPresent() const
{
    return link_.state().DeviceFound;
}

StatusPoll::Result StatusPoll::pollOnce()
{
    SharedState& s = link_.state();
    PanelModel& panel = link_.panel();
    // A transfer, a held knob or a key exchange owns the device: this tick has nothing to do.
    if (s.TransferBusy || link_.deviceHeld() || link_.stopping())
        return {true, {}};

    link_.beginExchange();
    FtStatus closed = ft::OK;
    {
        UsbLink::Hold hold(link_);
        D2xx& dev = link_.device();
        link_.openDevice();
        link_.sendCode(wire::kStatusRequest);
        if (dev.SetTimeouts(s.DeviceHandle, kReplyTimeoutMs, 0) != ft::OK) {
            s.DeviceFound = false;  // absent, silently: the close below says so if it fails too
            link_.noteFailure(ErrorKind::Absent);
        } else {
            uint32_t got = 0;
            const FtStatus readStatus = dev.Read(s.DeviceHandle, s.ReplyBuffer.data(), wire::kStatusReplyBytes, &got);
            s.BytesRead = int32_t(got);
            if (readStatus != ft::OK) {
                link_.noteFailure(ErrorKind::ReadFailed);
                panel.setStatusText(u"  USB Read Failed"_s);
                // The captions stay those of the page last reported.
                const auto captions = softKeyCaptions(s.ModeCode);
                for (int n = 1; n <= 9; ++n)
                    panel.setCaption(n, captions[size_t(n - 1)]);
            } else {
                if (!s.DeviceFound) {
                    panel.setStatusBold(false);
                    panel.setStatusColour(palette::Black);
                    panel.setStatusText(u" "_s);
                    s.DeviceFound = true;
                }
                // Bytes a short read did not fill still hold the sentinel '@' and the panel shows them decoded
                // as such, as the instrument's own program does; the status value takes only whole replies.
                const StatusReading reading = decodeStatusReply(s.ReplyBuffer.data(), s.DisplayFlag);
                showReading(reading, panel);
                s.ModeCode = reading.page;
                if (got == uint32_t(wire::kStatusReplyBytes))
                    reading_ = reading;
                else
                    link_.noteFailure(ErrorKind::TimeOut);
            }
            const uint8_t flags = s.ReplyBuffer[2];
            s.DisplayFlag = flags & 0x01;
            s.SignalPresent = flags & 0x02;
            s.fillReplySentinel();
        }
        closed = link_.closeDevice();
    }
    if (closed == ft::OK)
        return {false, link_.exchangeOutcome()};
    link_.noteFailure(ErrorKind::Absent);
    panel.setStatusBold(true);
    panel.setStatusColour(palette::Red);
    panel.setStatusText(u"  No QV7700 found, \r\nCheck Power & USB Connectors"_s);
    s.DeviceFound = false;
    return {false, link_.exchangeOutcome(), true};
}

}  // namespace qv
