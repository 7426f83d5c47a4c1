#include "render/fonts.h"

#include <QFont>
#include <QStringList>

namespace qv {

using namespace Qt::StringLiterals;

void installFontSubstitutions()
{
    // Liberation Sans has Arial's metrics, so labels placed for the maker's fonts land where they should.
    const QStringList sans = {u"Liberation Sans"_s, u"Arial"_s, u"DejaVu Sans"_s, u"Helvetica"_s,
                              u"FreeSans"_s,        u"Noto Sans"_s, u"sans-serif"_s};
    QFont::insertSubstitutions(kPanelFont, sans);
    QFont::insertSubstitutions(kPrintFont, sans);
    QFont::insertSubstitutions(kBannerFont, {u"Verdana"_s, u"DejaVu Sans"_s, u"Liberation Sans"_s, u"sans-serif"_s});
}

}  // namespace qv
