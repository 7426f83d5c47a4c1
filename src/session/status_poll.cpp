#include "session/status_poll.h"

#include "link/usb_link.h"
#include "protocol/commands.h"
#include "session/panel_update.h"
#include "state/panel_model.h"

#include <algorithm>

namespace qv {

using namespace Qt::StringLiterals;

namespace {
constexpr uint32_t kReplyTimeoutMs = 500;
}  // namespace

StatusPoll::Result StatusPoll::pollOnce()
{
    PanelModel& panel = link_.panel();
    // A transfer, a held knob or a key exchange owns the device: this tick has nothing to do.
    if (link_.transferBusy() || link_.deviceHeld() || link_.stopping())
        return {true, {}};

    link_.beginExchange();
    FtStatus closed = ft::OK;
    {
        UsbLink::Hold hold(link_);
        D2xx& dev = link_.device();
        link_.openDevice();
        link_.sendCode(wire::kStatusRequest);
        if (dev.SetTimeouts(link_.handle(), kReplyTimeoutMs, 0) != ft::OK) {
            present_ = false;  // absent, silently: the close below says so if it fails too
            link_.noteFailure(ErrorKind::Absent);
        } else {
            uint32_t got = 0;
            const FtStatus readStatus = dev.Read(link_.handle(), link_.replyBuffer().data(), wire::kStatusReplyBytes, &got);
            link_.bytesRead() = int32_t(got);
            if (readStatus != ft::OK) {
                link_.noteFailure(ErrorKind::ReadFailed);
                panel.setStatusText(u"  USB Read Failed"_s);
                // The captions stay those of the page last reported.
                const auto captions = softKeyCaptions(page_);
                for (int n = 1; n <= 9; ++n)
                    panel.setCaption(n, captions[size_t(n - 1)]);
            } else {
                if (!present_) {
                    panel.setStatusBold(false);
                    panel.setStatusColour(palette::Black);
                    panel.setStatusText(u" "_s);
                    present_ = true;
                }
                // Bytes a short read did not fill still hold the sentinel '@' and the panel shows them decoded
                // as such, as the instrument's own program does; the status value takes only whole replies.
                const StatusReading reading = decodeStatusReply(link_.replyBuffer().data(), displayFlag_);
                showReading(reading, panel);
                page_ = reading.page;
                if (got == uint32_t(wire::kStatusReplyBytes))
                    reading_ = reading;
                else
                    link_.noteFailure(ErrorKind::TimeOut);
            }
            const uint8_t flags = link_.replyBuffer()[2];
            displayFlag_ = flags & 0x01;
            signal_ = flags & 0x02;
            // Nine at-signs and blanks: bytes the next short read leaves unfilled then decode as 0x40.
            std::fill(link_.replyBuffer().begin(), link_.replyBuffer().end(), uint8_t(' '));
            std::fill_n(link_.replyBuffer().begin(), 9, uint8_t('@'));
        }
        closed = link_.closeDevice();
    }
    if (closed == ft::OK)
        return {false, link_.exchangeOutcome()};
    link_.noteFailure(ErrorKind::Absent);
    panel.setStatusBold(true);
    panel.setStatusColour(palette::Red);
    panel.setStatusText(u"  No QV7700 found, \r\nCheck Power & USB Connectors"_s);
    present_ = false;
    return {false, link_.exchangeOutcome(), true};
}

}  // namespace qv
