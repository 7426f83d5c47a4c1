#include "state/shared_state.h"

#include <algorithm>

namespace qv {

void SharedState::fillReplySentinel()
{
    std::fill(ReplyBuffer.begin(), ReplyBuffer.end(), uint8_t(' '));
    std::fill_n(ReplyBuffer.begin(), 9, uint8_t('@'));
}

}  // namespace qv
