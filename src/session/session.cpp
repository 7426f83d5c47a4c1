#include "session/session.h"

#include <QTimer>

#include <cstring>

namespace qv {

using namespace Qt::StringLiterals;

namespace {
constexpr int kExitPauseMs = 100;

// Runs done once, with the outcome the object's next finished() carries.
template <class Fetch>
void whenFinished(Fetch& fetch, QObject* context, Done done)
{
    auto connection = std::make_shared<QMetaObject::Connection>();
    *connection = QObject::connect(&fetch, &Fetch::finished, context, [&fetch, connection, done] {
        QObject::disconnect(*connection);
        if (done)
            done(fetch.lastOutcome());
    });
}
}  // namespace

Session::Session(std::unique_ptr<D2xx> device, QObject* parent)
    : QObject(parent),
      device_(std::make_unique<SerialNumberFilter>(std::move(device), QByteArray())),
      link_(panel_, *device_),
      poll_(link_),
      keys_(link_, schedule_, poll_),
      fetch_(link_, picture_),
      log_(link_)
{
    connect(&schedule_, &PollSchedule::due, this, [this] { pollOnce(); });
    // A screen is drawn as "No Signal" when the last status said so.
    fetch_.signalPresent = [this] { return poll_.signalPresent(); };
    live_ = std::make_unique<LiveView>(*this);
}

Session::~Session() = default;

QString Session::serialNumber() const
{
    if (!device_->serial().isEmpty())
        return QString::fromLatin1(device_->serial());
    return QString::fromLatin1(link_.serialNumber(), qsizetype(strnlen(link_.serialNumber(), kSerialNumberSize)));
}

StatusPoll::Result Session::pollOnce()
{
    const StatusPoll::Result result = poll_.pollOnce();
    if (result.skipped) {
        ++counts_.skipped;
        emit pollSkipped();
        return result;
    }
    ++counts_.polls;
    if (!result.outcome.ok())
        ++counts_.failures;
    const bool present = poll_.instrumentPresent();
    // A reply that came short leaves the last whole one standing, and its age grows.
    if (!present || result.outcome.ok() || !status_.present) {
        status_ = statusFrom(present, poll_.lastReading(), serialNumber(), QDateTime::currentDateTime(),
                             monotonicNowMs());
    }
    status_.polls = counts_.polls;
    // Published before the pause after an absence: a poll that runs during that pause must not be overtaken by
    // this older one.
    emit polled(status_);
    // The pause runs the event loop, so the next tick may poll inside it; that poll does not pause again. Were
    // pauses to nest (a pause and an exchange longer than the poll period), the stack would grow with every
    // tick for as long as the instrument stays away, and the program could never return to its main loop to
    // end.
    if (result.foundAbsent && !inAbsencePause_) {
        inAbsencePause_ = true;
        link_.Wait(poll_.absencePauseMs);
        inAbsencePause_ = false;
    }
    return result;
}

Session::PollCounts Session::pollCounts() const
{
    PollCounts c = counts_;
    c.late = schedule_.lateTicks();
    return c;
}

void Session::press(const NamedControl& control, Done done, int knobHoldMs)
{
    if (control.key) {
        keys_.click(*control.key, std::move(done));
        return;
    }
    const int knob = control.knob;
    QTimer::singleShot(knobHoldMs, this, [this, knob] { keys_.knobUp(knob); });
    keys_.knobDown(knob, std::move(done));
}

std::optional<Outcome> Session::captureRefusal(const Outcome& polled) const
{
    if (!poll_.instrumentPresent())
        return polled.ok() ? Outcome::failure(ErrorKind::Absent, panel_.statusText().trimmed()) : polled;
    if (!panel_.menuEnabled(Menu::Get1Frame))
        return Outcome::failure(ErrorKind::NotOffered,
                                u"the instrument shows its picture page, which has no screen to capture"_s);
    return std::nullopt;
}

void Session::captureScreen(bool showWindow, Done done, const char* reason)
{
    // In the queue like a click; once it is this request's turn, a poll first: a mode key pressed just before
    // may have moved the instrument to its picture page, which has no screen to give.
    link_.whenFree([this, showWindow, reason, done = std::move(done)] {
        const StatusPoll::Result polled = pollOnce();
        if (const auto refused = captureRefusal(polled.outcome)) {
            if (done)
                done(*refused);
            return;
        }
        whenFinished(fetch_, this, done);
        if (showWindow)
            fetch_.captureWithWindow(reason);
        else
            fetch_.fetchWithoutWindow(reason);
    });
}

void Session::captureLive(uint8_t pageAtPoll, Done done)
{
    // The poll this copy follows said what the page offers; a mode key since then (the picture page has no
    // screen) leaves the decision to the next poll rather than sending the instrument a request it may not take.
    if (poll_.page() != pageAtPoll) {
        done(Outcome::failure(ErrorKind::Cancelled, u"a mode key changed the page since the last poll"_s));
        return;
    }
    if (const auto refused = captureRefusal({})) {
        done(*refused);
        return;
    }
    // Without a signal the instrument's screen is only "No Signal": the live view says so instead of copying it
    // again and again.
    if (!poll_.signalPresent()) {
        done(Outcome::failure(ErrorKind::NotOffered, u"the instrument has no input signal, so no screen to show"_s));
        return;
    }
    whenFinished(fetch_, this, std::move(done));
    fetch_.fetchWithoutWindow();
}

void Session::fetchLog(Done done)
{
    whenFinished(log_, this, std::move(done));
    log_.requestFetch();
}

void Session::eraseLog(Done done)
{
    whenFinished(log_, this, std::move(done));
    log_.requestErase();
}

void Session::start()
{
    panel_.setMenuEnabled(Menu::PrintFrame, false);
    panel_.setMenuEnabled(Menu::Reverse, false);
    panel_.setMenuEnabled(Menu::PrintLog, false);
    schedule_.start();
}

void Session::exitAfterPause()
{
    link_.Wait(kExitPauseMs);
    endProgram();
}

void Session::endProgram()
{
    if (link_.stopping())
        return;
    link_.stop();
    schedule_.stop();
    emit exitRequested();
}

void Session::clearStatusBox()
{
    link_.whenFree([this] {
        panel_.statusLog() = u" "_s;
        panel_.setStatusText(panel_.statusLog());
        panel_.setMenuEnabled(Menu::PrintLog, false);
    });
}

void Session::screenWindowClosed()
{
    panel_.setMenuEnabled(Menu::PrintFrame, false);
    panel_.setMenuEnabled(Menu::Reverse, false);
}

}  // namespace qv
