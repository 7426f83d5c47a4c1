#pragma once
// The instrument's side of the protocol, in process: it takes the key messages the program writes and answers
// as the QV7700 does. Pages and sub-pages follow the keys, the status reply reflects the instrument's own state,
// screens and the error log come in the instrument's frame and record formats. Deterministic for a given seed.

#include <QByteArray>
#include <QImage>
#include <QList>

#include <cstdint>

namespace qv {

class SimInstrument {
public:
    enum AudioScale { Bbc, Vu, Ebu, Nordic, Digital, Din, ExpandDin };

    explicit SimInstrument(uint32_t seed = 7700);

    // Bytes the program wrote; returns what the instrument sends back in answer.
    QByteArray receive(const uint8_t* bytes, size_t count);

    // The instrument's state, for tests and the demo.
    uint8_t page() const { return page_; }
    uint8_t statusByte() const;
    uint8_t flagsByte() const;
    uint8_t screenTypeCode() const;
    bool signalPresent() const { return signal_; }
    void setSignalPresent(bool on) { signal_ = on; }
    bool eye() const { return eye_; }
    int logEntryCount() const { return int(entries_.size()); }
    // Replaces the log with n entries: the largest log the instrument keeps has 976.
    void fillLog(int n);
    // The watch's tests script the feed: GAMUT+ / GAMUT- lamps held red, and records the instrument logs.
    void setGamut(bool plus, bool minus)
    {
        gamutPlus_ = plus;
        gamutMinus_ = minus;
    }
    void addLogEntry(const QByteArray& entry) { entries_.append(entry); }
    QList<uint8_t> keysReceived() const { return keys_; }

    // The log in the instrument's record format: four header records, the entries, then the end-of-log record.
    static constexpr int kHeaderRecords = 4;
    QByteArray logRecord(int index) const;

private:
    void press(uint8_t code, QByteArray& out);
    void softKey(int n);
    void displayKey(int n);
    QByteArray screenHeader();
    uint32_t nextRandom();

    uint32_t rng_;
    int pendingCode_ = -1;
    QList<uint8_t> keys_;

    uint8_t page_ = 1;        // WFM after power-up
    uint8_t parentPage_ = 1;  // where RET goes back to from a sub-page
    bool channel2_ = false;
    bool eye_ = false;
    bool signal_ = true;
    bool gamutPlus_ = false;
    bool gamutMinus_ = false;
    bool analogueInput_ = false;
    bool displayOverPicture_ = false;
    bool tile_ = false;
    bool tile709_ = false;
    int wfmScale_ = 0;
    int vectLayout_ = 0;
    AudioScale audioScale_ = Bbc;
    uint32_t polls_ = 0;

    int nextBlock_ = 0;
    QImage screen_;  // the screen as it stood when the transfer started
    uint32_t frames_ = 0;
    int logPos_ = 0;
    QList<QByteArray> entries_;
};

}  // namespace qv
