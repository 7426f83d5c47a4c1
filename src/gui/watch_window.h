#pragma once
// "Watch...": the unattended watch run from the window, over the window's own remote control (the same device
// and the same poll once a second, no second poll). The settings of the headless watch, a start/stop switch,
// the alarm episodes with their Acknowledge buttons, the journal's last lines and the watch's last problem.
// Closing the window only hides it: watching goes on until Stop or the end of the program.

#include "snmp/snmp_feed.h"
#include "watch/clock.h"

#include <QWidget>

#include <memory>

class QLabel;
class QPlainTextEdit;
class QPushButton;

namespace qv {

class AlarmList;
class Session;
class Watch;
class WatchSettingsForm;

class WatchWindow : public QWidget {
    Q_OBJECT
public:
    // A window of its own that goes with its owner (the main window).
    WatchWindow(Session& session, QWidget* owner);
    ~WatchWindow() override;

    void start();
    void stop();
    bool watching() const { return watch_ != nullptr; }

    // Tests run the watch over a manual clock; the clock must outlive the watch started with it.
    void setClock(Clock& clock) { clock_ = &clock; }
    Watch* watch() const { return watch_; }
    WatchSettingsForm* form() const { return form_; }
    QPushButton* startStop() const { return startStop_; }
    AlarmList* alarms() const { return alarms_; }
    QPlainTextEdit* journal() const { return journal_; }
    QLabel* problem() const { return problem_; }

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void refreshAlarms();
    void showProblem(const QString& text);
    void showJournalTail(const QString& dir);
    void notifyRaised(const QString& alarm, const QString& detail);

    Session& session_;
    SystemClock systemClock_;
    Clock* clock_ = &systemClock_;
    Watch* watch_ = nullptr;
    // Once a watch started with SNMP, the instrument's row stays fed for the life of the window; the alarms
    // come from whichever watch runs.
    std::unique_ptr<snmp::Feed> snmpFeed_;
    WatchSettingsForm* form_ = nullptr;
    QPushButton* startStop_ = nullptr;
    QLabel* state_ = nullptr;
    QLabel* problem_ = nullptr;
    AlarmList* alarms_ = nullptr;
    QPlainTextEdit* journal_ = nullptr;
};

// The Logger menu's "Watch...": the owner's watch window, made on first use, shown and raised.
WatchWindow* showWatchWindow(QWidget* owner, Session& session);

// A journal line as the window shows it: the time, the event and what it says, without the JSON.
QString journalLineText(const QByteArray& line);

}  // namespace qv
