#include "sim/sim_instrument.h"

#include "protocol/commands.h"
#include "protocol/keys.h"
#include "sim/sim_screens.h"

#include <cmath>

namespace qv {

namespace {
constexpr int kRecordLength = 40;  // the line feed closes every record at position 40

// Vectorscope layouts that the GAIN key steps through; the chart layout (7) has its own sub-page.
constexpr uint8_t kVectCodes[] = {4, 5, 6, 8, 9};

// The tiled display lists its audio scales in another order than the full-screen meter does.
int tiledIndex(SimInstrument::AudioScale s)
{
    switch (s) {
    case SimInstrument::Bbc: return 0;
    case SimInstrument::Vu: return 1;
    case SimInstrument::Nordic: return 2;
    case SimInstrument::Ebu: return 3;
    case SimInstrument::Digital: return 4;
    case SimInstrument::Din: return 5;
    case SimInstrument::ExpandDin: return 6;
    }
    return 0;
}

QByteArray record(const QByteArray& lead, const QByteArray& text)
{
    QByteArray r = lead + ' ' + text;
    r = r.left(kRecordLength - 1).leftJustified(kRecordLength - 1, ' ');
    return r + '\n';
}
}  // namespace

SimInstrument::SimInstrument(uint32_t seed) : rng_(seed ? seed : 1)
{
    static const char* const kEvents[] = {
        "CH1 LOSS OF VIDEO",  "CH1 VIDEO RESTORED", "GAMUT + LUMA",     "GAMUT - CHROMA",
        "AUDIO 1 SILENCE",    "AUDIO 1 RESTORED",   "CRC Y ACTIVE",     "CRC C FULL FIELD",
        "CH2 LOSS OF VIDEO",  "CH2 VIDEO RESTORED", "REF UNLOCKED",     "REF LOCKED",
        "AUDIO 3 OVER LEVEL", "TRS ERROR COUNT 3",  "ANC CHECKSUM",     "LINE LENGTH 1716",
    };
    const int count = 24 + int(nextRandom() % 12);
    for (int i = 0; i < count; ++i) {
        const int minute = (i * 7 + int(nextRandom() % 5)) % 60;
        // Day and time only: the record's shown text ends at its 40th character.
        const QByteArray stamp = "06/12 " + QByteArray::number(8 + i / 9).rightJustified(2, '0') + ':' +
                                 QByteArray::number(minute).rightJustified(2, '0') + ':' +
                                 QByteArray::number(int(nextRandom() % 60)).rightJustified(2, '0');
        entries_.append(stamp + ' ' + kEvents[nextRandom() % std::size(kEvents)]);
    }
}

void SimInstrument::fillLog(int n)
{
    entries_.clear();
    for (int i = 0; i < n; ++i)
        entries_.append("06/12 " + QByteArray::number(10 + i / 3600 % 14) + ':' +
                        QByteArray::number(i / 60 % 60).rightJustified(2, '0') + ':' +
                        QByteArray::number(i % 60).rightJustified(2, '0') + " GAMUT + LUMA");
}

uint32_t SimInstrument::nextRandom()
{
    // xorshift32: small, fast and the same on every machine
    rng_ ^= rng_ << 13;
    rng_ ^= rng_ >> 17;
    rng_ ^= rng_ << 5;
    return rng_;
}

QByteArray SimInstrument::receive(const uint8_t* bytes, size_t count)
{
    QByteArray out;
    for (size_t i = 0; i < count; ++i) {
        const uint8_t b = bytes[i];
        if (pendingCode_ >= 0 && b == wire::kTrailer) {
            press(uint8_t(pendingCode_), out);
            pendingCode_ = -1;
        } else {
            // A code without its trailer is dropped, as the instrument's key decoder does.
            pendingCode_ = b == wire::kTrailer ? -1 : b;
        }
    }
    return out;
}

uint8_t SimInstrument::statusByte() const
{
    uint8_t s = 0x40;  // reference locked
    if (signal_)
        s |= 0x80 | 0x10;  // video valid, audio valid
    if (signal_ && !channel2_)
        s |= 0x20;  // embedded data present on the main input
    if (signal_ && page_ == 2 && polls_ % 7 == 3)
        s |= 0x08;  // a brief gamut excursion now and then
    if (gamutPlus_)
        s |= 0x08;
    if (gamutMinus_)
        s |= 0x04;
    if (channel2_)
        s |= 0x02;
    if (eye_)
        s |= 0x01;
    return s;
}

uint8_t SimInstrument::flagsByte() const
{
    return uint8_t((displayOverPicture_ ? 0x01 : 0) | (signal_ ? 0x02 : 0));
}

uint8_t SimInstrument::screenTypeCode() const
{
    if (page_ == 0)
        return 0;
    if (tile_)
        return uint8_t((tile709_ ? 27 : 20) + tiledIndex(audioScale_));
    switch (page_) {
    case 1: case 4: case 19: case 20: case 21:
        return uint8_t(1 + wfmScale_);
    case 2:
        return kVectCodes[vectLayout_];
    case 23:
        return 7;
    case 3: case 11: case 12: case 13: case 14:
        return uint8_t(11 + audioScale_);
    default:
        return 0;  // text pages (logger, alarms, data, set-up) carry no graticule
    }
}

void SimInstrument::press(uint8_t code, QByteArray& out)
{
    keys_.append(code);
    if (code >= keyCode(Key::Soft1) && code <= keyCode(Key::Soft9)) {
        softKey(code - keyCode(Key::Soft1) + 1);
        return;
    }
    if (code >= keyCode(Key::Wfm) && code <= keyCode(Key::Pix)) {
        const uint8_t mode = pageOf(Key(code - keyCode(Key::Wfm)));
        if (mode == pageOf(Key::Display) && page_ == 0) {
            displayOverPicture_ = !displayOverPicture_;  // DISPLAY over the picture keeps the picture page
            return;
        }
        displayOverPicture_ = false;
        page_ = parentPage_ = mode;
        return;
    }
    if (code >= knobCode(1) && code <= knobCode(kKnobCount))
        return;  // knobs move cursors and volume
    if (code == keyCode(Key::CH1) || code == keyCode(Key::CH2)) {
        channel2_ = code == keyCode(Key::CH2);
        return;
    }
    if (code == keyCode(Key::Eye)) {
        eye_ = !eye_;
        return;
    }
    switch (code) {
    case wire::kStartScreen:
        nextBlock_ = 0;
        out += screenHeader();
        return;
    case wire::kNextBlock:
        if (screen_.isNull())
            screen_ = simScreen(screenTypeCode(), page_, ++frames_);
        out += packBlock(screen_, nextBlock_);
        nextBlock_ = (nextBlock_ + 1) % 48;
        return;
    case wire::kEndScreen:
        nextBlock_ = 0;
        return;
    case wire::kStartLog:
        logPos_ = 0;
        return;
    case wire::kNextRecord:
        out += logRecord(logPos_);
        if (logPos_ < kHeaderRecords + entries_.size())
            ++logPos_;
        return;
    case wire::kEraseLog:
        entries_.clear();
        return;
    case wire::kStatusRequest:
        ++polls_;
        out += char(statusByte());
        out += char(page_);
        out += char(flagsByte());
        return;
    default:
        return;  // STO / REC: the instrument files its set-ups itself
    }
}

void SimInstrument::softKey(int n)
{
    const auto open = [this](uint8_t sub) {
        parentPage_ = page_;
        page_ = sub;
    };
    switch (page_) {
    case 1:  // WFM: VERT steps the scale
        if (n == 2)
            wfmScale_ = (wfmScale_ + 1) % 3;
        break;
    case 2:  // VECT: GAIN steps the layout, CDM opens the chart graticule
        if (n == 1)
            vectLayout_ = (vectLayout_ + 1) % int(std::size(kVectCodes));
        if (n == 4)
            open(23);
        break;
    case 23:
        if (n == 4)
            page_ = 2;
        break;
    case 3:  // AUDIO: SOURCE, SCALE, PEAKS, DEEMP
        if (n >= 1 && n <= 4)
            open(uint8_t(10 + n));
        break;
    case 12:  // the scale page lists BBC, EBU, VU, NORDIC, DIGITAL, DIN, EXP DIN
        if (n >= 1 && n <= 7) {
            static const AudioScale order[] = {Bbc, Ebu, Vu, Nordic, Digital, Din, ExpandDin};
            audioScale_ = order[n - 1];
        }
        [[fallthrough]];
    case 11: case 13: case 14: case 10: case 17: case 19: case 20: case 21: case 24:
        if (n == 9 || (n == 8 && (page_ == 10 || page_ == 17)))
            page_ = parentPage_;
        break;
    case 4:  // CURS: AMP, TIME, PHASE
        if (n >= 1 && n <= 3)
            open(uint8_t(18 + n));
        break;
    case 5:  // LOGGER: CLOCK
        if (n == 1)
            open(10);
        break;
    case 7:  // DATA: A/DIG switches to the analogue input, which has nothing connected
        if (n == 1) {
            analogueInput_ = !analogueInput_;
            signal_ = !analogueInput_;
        }
        break;
    case 8:
        displayKey(n);
        break;
    default:
        break;
    }
}

void SimInstrument::displayKey(int n)
{
    // DISPLAY: GAMUT and SAFE open their set-up pages; TILE steps off, BT.601 tiles, BT.709 tiles.
    if (n == 4 || n == 5) {
        parentPage_ = page_;
        page_ = n == 4 ? 17 : 24;
    } else if (n == 6) {
        if (tile_ && !tile709_) {
            tile709_ = true;
        } else {
            tile_ = !tile_;
            tile709_ = false;
        }
    }
}

QByteArray SimInstrument::screenHeader()
{
    const uint8_t code = screenTypeCode();
    screen_ = simScreen(code, page_, ++frames_);
    QByteArray h;
    h += char(code);
    for (int ch = 0; ch < 4; ++ch) {
        // Programme-like levels: a slow swell per channel with a little flicker (smaller = louder).
        const double swell = std::sin(polls_ * 0.7 + ch * 1.3);
        h += char(uint8_t(std::lround(110 + 50 * swell + int(nextRandom() % 9))));
    }
    return h;
}

QByteArray SimInstrument::logRecord(int index) const
{
    static const char* const kHeader[kHeaderRecords] = {
        "CORVANE QV7700 SCOPE", "SERIAL 77-01942  FW 3.12", "LOG STARTED 01/12/26 07:58", "DATE  TIME     EVENT"};
    if (index < kHeaderRecords)
        return record("HDR" + QByteArray::number(index + 1), kHeader[index]);
    if (index < kHeaderRecords + entries_.size())
        return record(QByteArray::number(index - kHeaderRecords + 1).rightJustified(4, '0'),
                      entries_.at(index - kHeaderRecords));
    return record("0000", "END OF LOG");
}

}  // namespace qv
