// The vendor-library backend: loaded from a real shared object with the library's nine functions, and
// harmless when the library is absent.

#include "link/d2xx_library.h"
#include "link/usb_link.h"
#include "state/panel_model.h"

#include <QLibrary>
#include <QTemporaryFile>
#include <QTest>

#include <cstdio>
#include <unistd.h>

using namespace qv;
using namespace Qt::StringLiterals;

namespace {
// Captures what the backend writes to standard error while f runs.
template <typename F>
QByteArray stderrOf(F f)
{
    std::fflush(stderr);
    QTemporaryFile file;
    file.open();
    const int saved = dup(2);
    dup2(file.handle(), 2);
    f();
    std::fflush(stderr);
    dup2(saved, 2);
    ::close(saved);
    file.seek(0);  // the writes through descriptor 2 moved the shared offset
    return file.readAll();
}
}  // namespace

class TestD2xxLibrary : public QObject {
    Q_OBJECT
private slots:
    void absentLibraryFailsEveryCallAndSaysSoOnce()
    {
        D2xxLibrary lib(u"qv_no_such_ftd2xx"_s);
        QVERIFY(!lib.loaded());
        const QByteArray said = stderrOf([&] {
            char serial[100] = {};
            FtHandle h = 0;
            uint32_t n = 0;
            char buf[4] = {};
            QVERIFY(lib.ListDevices(nullptr, serial, ft::LIST_BY_INDEX | ft::OPEN_BY_SERIAL_NUMBER) != ft::OK);
            QVERIFY(lib.OpenEx(serial, ft::OPEN_BY_SERIAL_NUMBER, &h) != ft::OK);
            QVERIFY(lib.Open(0, &h) != ft::OK);
            QVERIFY(lib.Write(h, buf, 2, &n) != ft::OK);
            QVERIFY(lib.Read(h, buf, 3, &n) != ft::OK);
            QVERIFY(lib.SetTimeouts(h, 500, 0) != ft::OK);
            QVERIFY(lib.SetUSBParameters(h, 8192, 8192) != ft::OK);
            QVERIFY(lib.GetQueueStatus(h, &n) != ft::OK);
            QVERIFY(lib.Close(h) != ft::OK);
        });
        QCOMPARE(said.count("could not be used"), 1);
        QVERIFY(said.contains("qv_no_such_ftd2xx"));
        QVERIFY(said.contains("--device serial"));
    }

    void realSharedObjectRoundTrip()
    {
        D2xxLibrary lib(QStringLiteral(FAKE_FTD2XX_PATH));
        QVERIFY2(lib.loaded(), qPrintable(lib.loadError()));
        PanelModel panel;
        UsbLink link(panel, lib);
        link.openDevice();
        QCOMPARE(QByteArray(link.serialNumber()), QByteArray("FAKE0001"));
        QVERIFY(link.handle() != 0);
        // Asked for a 2 ms latency timer (refused by this chip, and the open still stands) and 8 KB transfers.
        QLibrary fake(QStringLiteral(FAKE_FTD2XX_PATH));
        auto latency = reinterpret_cast<unsigned (*)()>(fake.resolve("fake_last_latency"));
        auto inSize = reinterpret_cast<unsigned (*)()>(fake.resolve("fake_last_in_size"));
        QVERIFY(latency && inSize);
        QCOMPARE(latency(), 2u);
        QCOMPARE(inSize(), 8192u);
        link.sendCode(0xB6);
        QCOMPARE(lib.SetTimeouts(link.handle(), 500, 0), ft::OK);
        uint32_t queued = 0;
        QCOMPARE(lib.GetQueueStatus(link.handle(), &queued), ft::OK);
        QCOMPARE(queued, 2u);
        uint32_t got = 0;
        QCOMPARE(lib.Read(link.handle(), link.replyBuffer().data(), 3, &got), ft::OK);
        QCOMPARE(got, 2u);
        QCOMPARE(link.replyBuffer()[0], uint8_t(0xB6));
        QCOMPARE(link.replyBuffer()[1], uint8_t(0x49));
        QCOMPARE(link.closeDevice(), ft::OK);
        // The closed handle is never handed to the library again.
        QCOMPARE(link.closeDevice(), ft::INVALID_HANDLE);
        QVERIFY(panel.statusText().isEmpty());
    }
};

QTEST_GUILESS_MAIN(TestD2xxLibrary)
#include "test_d2xx_library.moc"
