#pragma once
// "Watch...": the unattended watch run from the window, over the window's own remote control (the same device
// and the same poll once a second, no second poll). At the top a banner that says at a glance whether all is
// well; the settings of the headless watch (folded away while watching, to be looked at read-only), a
// start/stop switch, the alarm episodes with their captures and Acknowledge buttons (today's from the journal
// too, after a restart), a PDF report of a period, the journal's last lines and the watch's last problem.
// Closing the window only hides it: watching goes on until Stop or the end of the program.

#include "snmp/snmp_feed.h"
#include "watch/clock.h"
#include "watch/watch.h"

#include <QJsonObject>
#include <QList>
#include <QSet>
#include <QWidget>

#include <deque>
#include <memory>

class QLabel;
class QPlainTextEdit;
class QProgressBar;
class QPushButton;
class QThread;
class QToolButton;

namespace qv {

class AlarmList;
class DownloadWindow;
class Session;
class WatchSettingsForm;

// How bad an alarm is, for the banner's colour: an instrument that does not answer is watched no more (an
// error); a gamut excursion, a lost input or new error-log records are warnings. The same classes as the
// Prometheus alert rules shipped with the program (data/prometheus/qv7700-alerts.yml).
enum class AlarmClass { Warning, Error };
AlarmClass alarmClass(AlarmName name);

class WatchWindow : public QWidget {
    Q_OBJECT
public:
    // A window of its own that goes with its owner (the main window).
    WatchWindow(Session& session, QWidget* owner);
    ~WatchWindow() override;

    void start();
    void stop();
    bool watching() const { return watch_ != nullptr; }
    // The report of the folder's journal from..to into output, written on a thread of its own; the window
    // says when it is done, or why it could not be written.
    void writeReport(const QDateTime& from, const QDateTime& to, const QString& output);
    bool writingReport() const { return reportThread_ != nullptr; }
    // Shows an episode's alarm capture in a screen window of its own.
    DownloadWindow* openCapture(const AlarmEpisode& episode);

    // Tests run the watch over a manual clock; the clock must outlive the watch started with it.
    void setClock(Clock& clock) { clock_ = &clock; }
    Watch* watch() const { return watch_; }
    WatchSettingsForm* form() const { return form_; }
    QToolButton* settingsToggle() const { return settingsToggle_; }
    QWidget* settingsPanel() const { return settingsPanel_; }
    QPushButton* startStop() const { return startStop_; }
    QLabel* banner() const { return banner_; }
    AlarmList* alarms() const { return alarms_; }
    QPushButton* openCaptureButton() const { return openCapture_; }
    QPushButton* reportButton() const { return report_; }
    QLabel* reportState() const { return reportState_; }
    QPlainTextEdit* journal() const { return journal_; }
    QLabel* problem() const { return problem_; }

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void refreshAlarms();
    void showAlarms(const std::deque<AlarmEpisode>& live, bool canAcknowledge);
    void showBanner();
    void setSettingsShown(bool shown);
    void askForReport();
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
    // The episodes of the watches before this one in the folder, read back from its journal at the start: today's,
    // and those of earlier days that this watch goes on with (for their acknowledgement and capture).
    std::deque<AlarmEpisode> earlier_;
    QThread* reportThread_ = nullptr;
    QLabel* banner_ = nullptr;
    QToolButton* settingsToggle_ = nullptr;
    QWidget* settingsPanel_ = nullptr;
    WatchSettingsForm* form_ = nullptr;
    QPushButton* startStop_ = nullptr;
    QLabel* state_ = nullptr;
    QLabel* problem_ = nullptr;
    AlarmList* alarms_ = nullptr;
    QPushButton* openCapture_ = nullptr;
    QPushButton* report_ = nullptr;
    QProgressBar* reportBusy_ = nullptr;
    QLabel* reportState_ = nullptr;
    QPlainTextEdit* journal_ = nullptr;
};

// The Logger menu's "Watch...": the owner's watch window, made on first use, shown and raised.
WatchWindow* showWatchWindow(QWidget* owner, Session& session);

// A journal line as the window shows it: the time, the event and what it says, without the JSON.
QString journalLineText(const QByteArray& line);

// The alarm episodes in journal lines of the folder dir (readJournal's, in order), as the watches that wrote
// them had them: raised, cleared (when the condition went), acknowledged (by whom) and the alarm capture (a
// path in dir).
std::deque<AlarmEpisode> journaledEpisodes(const QList<QJsonObject>& lines, const QString& dir);

}  // namespace qv
