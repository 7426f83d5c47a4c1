// Logger > Network... in the window: serving starts and stops from the dialog, and what the window's own keys
// do is what a viewer reads over the network.

#include "gui/main_window.h"
#include "gui/network_dialog.h"
#include "session/session.h"
#include "sim/sim_device.h"

#include <QAction>
#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QPushButton>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>

using namespace qv;
using namespace Qt::StringLiterals;

namespace {
QByteArray get(quint16 port, const QByteArray& path)
{
    QTcpSocket s;
    s.connectToHost(QHostAddress::LocalHost, port);
    if (!s.waitForConnected(3000))
        return {};
    s.write("GET " + path + " HTTP/1.1\r\nHost: 127.0.0.1:" + QByteArray::number(port) + "\r\nConnection: close\r\n\r\n");
    QByteArray got;
    while (s.waitForReadyRead(3000))
        got += s.readAll();
    return got;
}
}  // namespace

class TestNetworkWindow : public QObject {
    Q_OBJECT
private slots:
    void serveFromTheDialog()
    {
        QTemporaryDir config;
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(config.path()));  // the token file lands here
        Session session(std::make_unique<SimDevice>());
        MainWindow window(session);
        session.start();
        window.show();
        QAction* item = nullptr;
        for (QAction* menu : window.menuBar()->actions())
            for (QAction* a : menu->menu()->actions())
                if (menu->text() == u"Logger" && a->text() == u"Network...")
                    item = a;
        QVERIFY(item);
        item->trigger();
        auto* dialog = window.findChild<NetworkDialog*>();
        QVERIFY(dialog && dialog->isVisible());
        dialog->addressEdit()->setText(u"127.0.0.1:0"_s);
        dialog->startStopButton()->click();
        const QString url = dialog->urlLabel()->text();
        const qsizetype at = url.indexOf(u"http://127.0.0.1:"_s);
        QVERIFY2(at >= 0, qPrintable(url));
        const quint16 port = quint16(url.sliced(at + 17).section(u'/', 0, 0).toUInt());

        QTest::mouseClick(window.keyButton(Key::Vect), Qt::LeftButton);
        QTRY_VERIFY_WITH_TIMEOUT(get(port, "/api/status").contains("\"lit_keys\":[\"VECT\""), 5000);

        dialog->startStopButton()->click();
        QCOMPARE(get(port, "/api/status"), QByteArray());  // nobody listens any more
    }
};

QTEST_MAIN(TestNetworkWindow)
#include "test_network_window.moc"
