#pragma once
// The instrument maker's fonts are asked for by name; a machine without them gets the closest sans-serif it has.

#include <QString>

namespace qv {

// The panel's captions and the screen labels.
inline const QString kPanelFont = QStringLiteral("MS Sans Serif");
// The "No Signal" banner over the screen.
inline const QString kBannerFont = QStringLiteral("verdana");
// Printed error logs.
inline const QString kPrintFont = QStringLiteral("Arial");

void installFontSubstitutions();

}  // namespace qv
