#include "live/live_poll.h"

#include "link/usb_link.h"
#include "live/panel_state.h"
#include "live/soft_keys.h"
#include "state/panel_model.h"
#include "state/shared_state.h"

namespace qv {

using namespace Qt::StringLiterals;

namespace {
constexpr int kStatusRequest = 0xB6;
constexpr uint32_t kReplyTimeoutMs = 500;
}  // namespace

void LivePoll::Timer3_Timer()
{
    SharedState& s = link_.state();
    PanelModel& panel = link_.panel();
    // A transfer, a held knob or a key exchange owns the device: this tick has nothing to do.
    if (s.TransferBusy || link_.deviceHeld() || link_.stopping())
        return;

    FtStatus closed = ft::OK;
    {
        UsbLink::Hold hold(link_);
        D2xx& dev = link_.device();
        link_.OpenDevice();
        link_.SendKey(kStatusRequest);
        if (dev.SetTimeouts(s.DeviceHandle, kReplyTimeoutMs, 0) != ft::OK) {
            s.DeviceFound = false;  // absent, silently: the close below says so if it fails too
        } else {
            uint32_t got = 0;
            const FtStatus readStatus = dev.Read(s.DeviceHandle, s.ReplyBuffer.data(), 3, &got);
            s.BytesRead = int32_t(got);
            if (readStatus != ft::OK) {
                panel.setStatusText(u"  USB Read Failed"_s);
            } else {
                if (!s.DeviceFound) {
                    panel.setStatusBold(false);
                    panel.setStatusColour(qb::Black);
                    panel.setStatusText(u" "_s);
                    s.DeviceFound = true;
                }
                ResetModeButtons(panel);
                panel.setMenuEnabled(Menu::Get1Frame, true);
                // Bytes a short read did not fill still hold the sentinel '@' and decode as such.
                s.ModeCode = s.ReplyBuffer[1];
                UpdatePanelState(s.ReplyBuffer[0], s.ModeCode, s.DisplayFlag, panel);
            }
            // Byte 3 is decoded after the mode dispatch, which therefore sees the previous tick's DisplayFlag.
            const uint8_t flags = s.ReplyBuffer[2];
            s.DisplayFlag = flags & 0x01;
            s.SignalPresent = flags & 0x02;
            s.fillReplySentinel();
            SetSoftKeyLabels(s.ModeCode, panel);
        }
        closed = link_.closeDevice();
    }
    if (closed == ft::OK)
        return;
    panel.setStatusBold(true);
    panel.setStatusColour(qb::Red);
    panel.setStatusText(u"  No QV7700 found, \r\nCheck Power & USB Connectors"_s);
    s.DeviceFound = false;
    link_.Wait(absencePauseMs);
}

}  // namespace qv
