#pragma once
// For the benchmarks: with QV7700_PROBE set, the program reports on standard output when its window first
// paints ("painted"), and with QV7700_PROBE=capture it then fetches a screen and reports its peak memory
// ("peak-rss-kb N") before it quits.

class QWidget;

namespace qv {

class Session;

void installStartupProbe(QWidget& window, Session& session);

}  // namespace qv
