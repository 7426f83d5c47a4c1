// Status replies of any length and content, through a whole poll tick and the panel decoding.

#include "app/remote.h"
#include "fuzz_common.h"
#include "fuzz_device.h"
#include "live/panel_state.h"
#include "live/soft_keys.h"

using namespace qv;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    fuzz::FuzzDevice* device = nullptr;
    Remote& remote = fuzz::fuzzRemote(device);
    if (size >= 3) {
        PanelModel panel;
        UpdatePanelState(data[0], data[1], data[2] & 1, panel);
        SetSoftKeyLabels(data[1], panel);
    }
    device->reset(data, size);
    remote.poll().Timer3_Timer();
    return 0;
}
