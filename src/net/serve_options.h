#pragma once
// --serve and the options that go with it, as the command line and the window's Network... dialog give them.

#include <QString>
#include <QStringList>

namespace qv {

// --serve and the options that go with it.
struct ServeOptions {
    QString address;    // [ADDRESS:]PORT
    QString tokenFile;  // empty: the default place
    QString tlsCert, tlsKey;
    bool publicRead = false;
    QStringList allowHosts;
    QString tlsKeyPassFile;  // empty: the key is not encrypted
};

}  // namespace qv
