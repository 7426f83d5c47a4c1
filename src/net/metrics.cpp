#include "net/metrics.h"

namespace qv::net {

namespace {
class Writer {
public:
    void family(const char* name, const char* type, const char* help)
    {
        out_ += QByteArray("# HELP ") + name + ' ' + help + "\n# TYPE " + name + ' ' + type + '\n';
    }
    void sample(const QByteArray& nameAndLabels, double value)
    {
        out_ += nameAndLabels + ' ' + QByteArray::number(value, 'g', 17) + '\n';
    }
    void sample(const QByteArray& nameAndLabels, quint64 value) { out_ += nameAndLabels + ' ' + QByteArray::number(value) + '\n'; }
    QByteArray take() { return std::move(out_); }

private:
    QByteArray out_;
};

void instrument(Writer& w, const Snapshot& s)
{
    const InstrumentStatus& st = s.status;
    w.family("qv7700_up", "gauge", "1 when the instrument answered the last poll.");
    w.sample("qv7700_up", quint64(st.present));
    w.family("qv7700_signal", "gauge", "1 when the instrument reports an input signal.");
    w.sample("qv7700_signal", quint64(st.signal));
    w.family("qv7700_mode_code", "gauge", "The page code the instrument reported; absent while it does not answer.");
    if (st.modeCode)
        w.sample("qv7700_mode_code", quint64(*st.modeCode));
    // Every lamp in every colour, always: a series that comes and goes with the colour leaves gaps in graphs and
    // makes "absent" look like "off". 1 marks the lamp's colour; all four are 0 while the instrument says nothing.
    w.family("qv7700_lamp", "gauge", "1 for the colour the lamp shows (off, blue, green, red), 0 for the others.");
    for (size_t i = 0; i < kLampNames.size(); ++i)
        for (LampColour c : {LampColour::Off, LampColour::Blue, LampColour::Green, LampColour::Red})
            w.sample(QByteArray("qv7700_lamp{lamp=\"") + kLampNames[i] + "\",colour=\"" + lampColourName(c) + "\"}",
                     quint64(st.reading.has_value() && st.lamps[i] == c));
    // Counted at every poll, not sampled at a scrape: a lamp red in one poll of seven is still seen.
    w.family("qv7700_lamp_red_polls_total", "counter", "Polls in which the lamp was red.");
    for (size_t i = 0; i < kLampNames.size(); ++i)
        w.sample(QByteArray("qv7700_lamp_red_polls_total{lamp=\"") + kLampNames[i] + "\"}", s.redPolls[i]);
    // One series per alarm the watch beside the server may raise, from its start: none without a watch.
    w.family("qv7700_alarm_active", "gauge", "1 while the watch's alarm is raised, else 0.");
    for (const AlarmCount& a : s.alarmCounts)
        w.sample("qv7700_alarm_active{alarm=\"" + labelValue(a.name) + "\"}", quint64(a.active));
    w.family("qv7700_alarms_raised_total", "counter", "Times the watch raised the alarm.");
    for (const AlarmCount& a : s.alarmCounts)
        w.sample("qv7700_alarms_raised_total{alarm=\"" + labelValue(a.name) + "\"}", a.raised);
    w.family("qv7700_build_info", "gauge", "This program's version.");
    w.sample("qv7700_build_info{version=\"" + labelValue(s.version) + "\"}", quint64(1));
    w.family("qv7700_instrument_info", "gauge", "The instrument's converter serial number.");
    w.sample("qv7700_instrument_info{serial=\"" + labelValue(st.serial) + "\"}", quint64(1));
    w.family("qv7700_info", "gauge", "The instrument's serial number and this program's version (kept for older dashboards).");
    w.sample("qv7700_info{serial=\"" + labelValue(st.serial) + "\",version=\"" + labelValue(s.version) + "\"}", quint64(1));
    w.family("process_start_time_seconds", "gauge", "When this program started (Unix time).");
    w.sample("process_start_time_seconds", s.startTimeSeconds);
}

void counters(Writer& w, const Snapshot& s)
{
    w.family("qv7700_polls_total", "counter", "Status polls made.");
    w.sample("qv7700_polls_total", s.polls);
    w.family("qv7700_poll_failures_total", "counter", "Status polls the instrument did not answer.");
    w.sample("qv7700_poll_failures_total", s.pollFailures);
    w.family("qv7700_poll_ticks_late_total", "counter", "Polls that came later than two periods after the one before.");
    w.sample("qv7700_poll_ticks_late_total", s.lateTicks);
    w.family("qv7700_poll_ticks_skipped_total", "counter", "Poll ticks skipped because a transfer or key held the device.");
    w.sample("qv7700_poll_ticks_skipped_total", s.skippedTicks);
    // A status that stopped getting fresh (polls starved, the program stuck) shows here, not as frozen values.
    w.family("qv7700_status_age_seconds", "gauge", "Seconds since the status was last read from the instrument.");
    if (s.status.monotonicMs >= 0)
        w.sample("qv7700_status_age_seconds", double(s.status.ageMs(monotonicNowMs())) / 1000.0);
    w.family("qv7700_last_poll_timestamp_seconds", "gauge", "When the status was last read (Unix time).");
    if (s.status.time.isValid())
        w.sample("qv7700_last_poll_timestamp_seconds", double(s.status.time.toMSecsSinceEpoch()) / 1000.0);
    w.family("qv7700_last_capture_timestamp_seconds", "gauge", "When the latest screen was captured (Unix time).");
    if (s.pngTime.isValid())
        w.sample("qv7700_last_capture_timestamp_seconds", double(s.pngTime.toMSecsSinceEpoch()) / 1000.0);
    w.family("qv7700_log_records_seen_total", "counter", "Error-log records, each counted once when a fetch first brought it.");
    w.sample("qv7700_log_records_seen_total", s.logRecordsSeen);
    w.family("qv7700_captures_total", "counter", "Screen transfers by who asked for them (api, button, alarm, timelapse).");
    for (auto it = s.capturesByReason.begin(); it != s.capturesByReason.end(); ++it)
        w.sample("qv7700_captures_total{reason=\"" + it.key() + "\"}", it.value());
    w.family("qv7700_capture_failures_total", "counter", "Screen transfers that failed, by who asked for them.");
    for (auto it = s.captureFailuresByReason.begin(); it != s.captureFailuresByReason.end(); ++it)
        w.sample("qv7700_capture_failures_total{reason=\"" + it.key() + "\"}", it.value());
    const DurationHistogram& h = s.captures;
    w.family("qv7700_capture_duration_seconds", "histogram", "Time each screen transfer held the device, whoever asked for it.");
    for (size_t i = 0; i < h.kBounds.size(); ++i)
        w.sample("qv7700_capture_duration_seconds_bucket{le=\"" + QByteArray::number(h.kBounds[i]) + "\"}", h.buckets[i]);
    w.sample("qv7700_capture_duration_seconds_bucket{le=\"+Inf\"}", h.count);
    w.sample("qv7700_capture_duration_seconds_sum", h.sum);
    w.sample("qv7700_capture_duration_seconds_count", h.count);
}
}  // namespace

QByteArray labelValue(const QString& text)
{
    QByteArray out;
    for (char c : text.toUtf8()) {
        if (c == '\\' || c == '"')
            out += '\\';
        out += c == '\n' ? QByteArray("\\n") : QByteArray(1, c);
    }
    return out;
}

QByteArray serverMetricsText(const ServerCounts& counts)
{
    Writer w;
    w.family("qv7700_http_requests_total", "counter", "HTTP requests answered, by status code.");
    for (auto it = counts.responses.begin(); it != counts.responses.end(); ++it)
        w.sample("qv7700_http_requests_total{code=\"" + QByteArray::number(it.key()) + "\"}", it.value());
    w.family("qv7700_http_event_streams", "gauge", "Live streams (server-sent events) open now.");
    w.sample("qv7700_http_event_streams", quint64(counts.streams));
    return w.take();
}

QByteArray metricsText(const Snapshot& s)
{
    Writer w;
    instrument(w, s);
    counters(w, s);
    return w.take();
}

}  // namespace qv::net
