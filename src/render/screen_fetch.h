#pragma once
// "Get Screen from QV7700": the five-byte header, the graticule it names, the level bars, then 48 blocks of
// pixels painted over the graticule as they arrive.

#include "link/d2xx.h"
#include "link/outcome.h"
#include "protocol/status_reply.h"

#include <QDateTime>
#include <QObject>

#include <functional>

namespace qv {

class UsbLink;
class ScreenPicture;

class ScreenFetch : public QObject {
    Q_OBJECT
public:
    ScreenFetch(UsbLink& link, ScreenPicture& picture, QObject* parent = nullptr);

    // The menu item. A fetch asked for while another exchange holds the device starts when it lets go; asking
    // again while one is running or waiting changes nothing.
    // reason: who asked, counted by the metrics ("button", "api", "alarm", "timelapse", "command"); a fetch
    // asked for again while it waits keeps the reason of the first request.
    void captureWithWindow(const char* reason = "button");
    // The same fetch for unattended captures: the picture is drawn, but its window is not brought up over
    // whatever the user is doing (unless the user asks for the screen meanwhile).
    void fetchWithoutWindow(const char* reason = "command");
    bool running() const { return running_; }
    // The reason of the fetch running or waiting now, else of the last one.
    const char* reason() const { return reason_; }

    // The clock stamped on the picture; tests fix it.
    std::function<QDateTime()> clock = [] { return QDateTime::currentDateTime(); };
    // How long the instrument may send nothing before the transfer gives up on it.
    int silenceLimitMs = 5000;
    // The instrument's pause between the header and the first block request.
    int pauseBeforeBlocksMs = 100;

    // Whether the instrument reported a signal at its last status: without one the screen is "No Signal" and
    // no blocks are asked for. Unset: there is a signal.
    std::function<bool()> signalPresent = [] { return true; };
    // The header of the last screen: its type and the four audio levels.
    const ScreenHeader& lastHeader() const { return header_; }

    // Whether the last fetch ran to its end without any failure message (a "No Signal" screen counts as one).
    bool lastFetchClean() const { return clean_; }
    // How the last fetch ended, by kind, with the status box's words for a failure.
    Outcome lastOutcome() const { return outcome_; }
    // How long the last fetch held the device, in milliseconds; -1 before the first.
    qint64 lastDurationMs() const { return durationMs_; }

signals:
    void showDownload();                   // the picture window is to be shown (modeless)
    void progress(int blocks, int total);  // blocks painted so far
    void finished();

private:
    void request(const char* reason);
    void run();
    // Open to close; returns the close's status.
    FtStatus exchange();
    void blockPhase();
    void fail(ErrorKind kind, const QString& text);

    UsbLink& link_;
    ScreenPicture& picture_;
    bool running_ = false;
    bool queued_ = false;
    bool windowWanted_ = true;
    bool clean_ = false;
    Outcome outcome_;
    ScreenHeader header_;
    qint64 durationMs_ = -1;
    const char* reason_ = "button";
};

}  // namespace qv
