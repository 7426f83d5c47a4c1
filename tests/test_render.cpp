// The screen picture's graticules, meters, bars and pixel decoding, checked against their coordinate tables
// through the drawing calls they make and a few pixels of the picture.

#include "meters/level_bars.h"
#include "meters/meter_scales.h"
#include "render/draw_primitives.h"
#include "render/graticule_dispatch.h"
#include "render/graticules.h"
#include "render/pixel_decoder.h"
#include "render/screen_picture.h"
#include "protocol/status_reply.h"

#include <QTest>

#include <cmath>
#include <set>

using namespace qv;
using namespace Qt::StringLiterals;

namespace {
using Ops = std::vector<DrawOp>;

struct Rig {
    ScreenPicture picture;
    Ops ops;
    Rig() { picture.surface().record = &ops; }
    // The picture after the graticule dispatch on a capture of screen type `code`.
    explicit Rig(int code, bool signal = true) : Rig() { dispatch(code, signal); }
    DrawSurface& s() { return picture.surface(); }
    Ops of(DrawOp::Kind k) const
    {
        Ops out;
        for (const auto& o : ops)
            if (o.kind == k)
                out.push_back(o);
        return out;
    }
    bool hasLine(double x1, double y1, double x2, double y2, double tol = 1e-3) const
    {
        for (const auto& o : ops)
            if (o.kind == DrawOp::Line && std::abs(o.x1 - x1) < tol && std::abs(o.y1 - y1) < tol &&
                std::abs(o.x2 - x2) < tol && std::abs(o.y2 - y2) < tol)
                return true;
        return false;
    }
    QStringList texts() const
    {
        QStringList t;
        for (const auto& o : of(DrawOp::Text))
            t << o.text;
        return t;
    }
    // Returns the screen type the dispatch took from the reply.
    int dispatch(int code, bool signal = true)
    {
        const uint8_t reply[5] = {uint8_t(code), 0, 0, 0, 0};
        const ScreenHeader header = decodeScreenHeader(reply);
        DrawGraticule(s(), header.screenType, signal, QDateTime(QDate(2026, 12, 6), QTime(10, 31, 7)));
        return header.screenType;
    }
};
}  // namespace

class TestRender : public QObject {
    Q_OBJECT
private slots:
    // Spot checks of the three waveform graticules: first and last of a run of lines, a shortened line, the ruler's
    // last tick, the dotted box, the labels.
    void waveforms()
    {
        Rig r;
        drawWaveform1(r.s());
        QCOMPARE(r.ops.front().kind, DrawOp::Clear);
        QCOMPARE(r.of(DrawOp::Clear).size(), size_t(1));
        QVERIFY(r.hasLine(0, 96, 1024, 96) && r.hasLine(0, 681, 1024, 681) && !r.hasLine(0, 726, 1024, 726));
        QVERIFY(r.hasLine(980, 658, 992, 658));  // the last short tick of the lower row
        QVERIFY(r.hasLine(950, 488, 950, 514) && !r.hasLine(1010, 488, 1010, 514));  // the ruler ends at 950
        QCOMPARE(r.s().point(1024, 96), palette::Green);  // drawn to the last column
        QCOMPARE(r.s().point(526, 173), palette::Green);  // the dotted line's first dot, then a gap
        QCOMPARE(r.s().point(527, 173), palette::Black);
        QCOMPARE(r.texts().size(), 11);
        QCOMPARE(r.s().fontSize, 14.0);
        QCOMPARE(r.s().foreColor, palette::Green);
        Rig r2;
        drawWaveform2(r2.s());
        QVERIFY(r2.hasLine(0, 154, 1024, 154) && r2.hasLine(0, 186, 960, 186) && !r2.hasLine(0, 186, 1024, 186));
        QVERIFY(r2.hasLine(954, 483, 966, 483));
        Rig r3;
        drawWaveform3(r3.s());
        QVERIFY(r3.hasLine(940, 378, 940, 403) && !r3.hasLine(1000, 378, 1000, 403));
        QCOMPARE(r3.texts(), QStringList({u"100%"_s, u"50%"_s, u"0"_s}));
    }

    void targetGeometry()
    {
        const TargetCorners t = targetCorners(512, 384, 707, 342, 0.052, 13);
        QVERIFY(t.valid);
        QVERIFY(std::abs(t.radius - 199.47) < 0.01);
        QVERIFY(std::abs(t.angle - 0.2121) < 0.0001);
        const QPointF c1 = t.c[0];
        const double r1 = std::hypot(c1.x() - 512, 384 - c1.y());
        QVERIFY(std::abs(r1 - 212.47) < 0.01);
        QVERIFY(std::abs(std::atan2(384 - c1.y(), c1.x() - 512) - 0.1601) < 0.0001);
        const TargetCorners left = targetCorners(512, 384, 317, 342, 0.052, 13);
        QVERIFY(std::abs(left.angle - 2.9299) < 0.0001);  // 3.142 − arcsin(42 / 199.47), not π − …
        // Straight above the centre: a proper angle, no NaN; on the centre itself: nothing to draw.
        const TargetCorners up = targetCorners(512, 384, 512, 100, 0.052, 13);
        QVERIFY(up.valid && std::isfinite(up.c[2].x()) && std::abs(up.angle - M_PI / 2) < 1e-9);
        Rig r;
        r.s().vector = {512, 384, 13, false};
        targetBox(r.s(), 512, 384);
        QVERIFY(r.ops.empty());
    }

    // Graticule 4: a target box at each point, with tolerance corners on the first six only (spot-checked on one
    // of each: a radial stroke that ends at the outer corner S1).
    void vector4Targets()
    {
        Rig r;
        drawVector4(r.s());
        for (const auto& [x, y, tolerance] : {std::tuple{317.0, 342.0, true}, {640.0, 608.0, false}}) {
            const auto box = targetCorners(512, 384, x, y, 0.052, 13);
            QVERIFY(r.hasLine(box.c[0].x(), box.c[0].y(), box.c[1].x(), box.c[1].y()));
            const auto outer = targetCorners(512, 384, x, y, 0.156, box.radius / 5);
            const auto radial = targetCorners(512, 384, x, y, 0.156, box.radius / 5 - 13);
            QCOMPARE(r.hasLine(radial.c[0].x(), radial.c[0].y(), outer.c[0].x(), outer.c[0].y()), tolerance);
        }
        QCOMPARE(int(r.of(DrawOp::Circle).size()), 1);
        QCOMPARE(r.texts().size(), 14);
    }

    void verticalAxisEnds()
    {
        for (int code = 4; code <= 9; ++code) {
            const Rig r(code);
            const double end = (code == 7 || code == 9) ? 700 : 701;
            QVERIFY2(r.hasLine(512, 413, 512, end), qPrintable(QString::number(code)));
        }
        const Rig r7(7);
        QVERIFY(r7.hasLine(302 - 6, 301.5, 302 + 6, 301.5));  // half-pixel chart marks passed on unrounded
        QVERIFY(r7.texts().contains(u"ChromaDuMonde"_s));
        const Rig r5(5);
        // Graticule 5 has the wide centre cross and the degree ticks (the first at 0°); 6 to 9 have no circle.
        QVERIFY(r5.hasLine(189, 384, 483, 384) && r5.hasLine(822, 384, 812, 384));
        const Rig r6(6);
        QVERIFY(r6.of(DrawOp::Circle).empty());
    }

    void meterScales()
    {
        const std::pair<int, QString> scales[] = {{13, u"EBU SCALE"_s}, {22, u"NORDIC SCALE"_s}, {23, u"EBU SCALE"_s}};
        for (const auto& [code, name] : scales) {
            const Rig r(code);
            QVERIFY2(r.texts().contains(name), qPrintable(name));
        }
        Rig n(14);
        const QStringList t = n.texts();
        QVERIFY(t.lastIndexOf(u"12"_s) > t.lastIndexOf(u"-9"_s));  // NORDIC ends "12", no minus sign
        QCOMPARE(n.s().foreColor, palette::Yellow);
        Rig small;
        drawSmallScale(small.s(), AudioScale::ExpandDin);
        QVERIFY2(small.hasLine(20, 559.5, 32, 559.5), "the small tick for Y 419 lands at 559.5, unrounded");
        Rig bbc;
        drawSmallScale(bbc.s(), AudioScale::Bbc);
        std::vector<double> ys;
        for (const auto& o : bbc.ops)
            if (o.kind == DrawOp::Line && o.y1 == o.y2 && o.x1 == 20 && o.x2 == 32)
                ys.push_back(o.y1);
        QCOMPARE(ys, (std::vector<double>{433, 476, 518, 553, 598, 636}));
        // Drawing a full-screen scale twice gives the same picture: the frame clears first.
        Rig twice;
        drawFullScale(twice.s(), AudioScale::Vu);
        const QImage once = twice.picture.image().copy();
        drawFullScale(twice.s(), AudioScale::Vu);
        QVERIFY(twice.picture.image() == once);
    }

    void levelBars_data()
    {
        QTest::addColumn<int>("code");
        QTest::addColumn<int>("bars");
        QTest::addColumn<double>("bottom");
        for (int c : {0, 5, 10})
            QTest::addRow("%d", c) << c << 0 << 0.0;
        for (int c : {11, 17, 18, 19})
            QTest::addRow("%d", c) << c << 4 << 662.0;
        for (int c : {20, 33, 34, 255})
            QTest::addRow("%d", c) << c << 4 << 680.0;
    }

    void levelBars()
    {
        QFETCH(int, code);
        Rig r;
        const std::array<uint8_t, 4> levels{0, 207, 27, 255};  // the four levels follow the header's first byte
        const uint8_t reply[5] = {uint8_t(code), levels[0], levels[1], levels[2], levels[3]};
        const ScreenHeader header = decodeScreenHeader(reply);
        DrawLevelBars(r.s(), header.screenType, header.levels);
        const Ops boxes = r.of(DrawOp::FillBox);
        QTEST(int(boxes.size()), "bars");
        if (boxes.empty())
            return;
        QCOMPARE(header.levels, levels);
        QCOMPARE(boxes[0].colour, palette::Red);
        QCOMPARE(boxes[1].colour, palette::Green);
        QTEST(boxes[0].y2, "bottom");
        if (code < 20) {
            QCOMPARE(boxes[0].y1, 0.0);  // level 0: from the top edge
            QCOMPARE(boxes[1].y1, 207 * 3.2);  // 662.4, just below the bottom line
            QCOMPARE(boxes[2].y1, 27 * 3.2);
            QCOMPARE(boxes[0].x1, 45.0);
            QCOMPARE(boxes[3].x1, 940.0);
            QCOMPARE(r.s().point(57, 0), palette::Red);
            QCOMPARE(r.s().point(137, 662), palette::Green);
        } else {
            QCOMPARE(boxes[0].y1, 350.0);
            QCOMPARE(boxes[3].x1, 468.0);
            QCOMPARE(boxes[3].y1, 255 * 1.6 + 350);  // reversed corners: the rectangle between them
            QCOMPARE(r.s().point(473, 700), palette::Green);
        }
        QCOMPARE(r.s().foreColor, palette::Green);  // bars use their own colours only
    }

    // The overlay on every code; a code without a graticule of its own leaves the picture as it was under it.
    void overlayOnEveryCodeAndNoSignal()
    {
        const std::set<int> withoutGraticule{0, 10, 18, 19, 34, 100, 255};
        for (int code = 0; code <= 255; ++code) {
            Rig r;
            r.s().fillBox(100, 100, 120, 120, palette::Red);
            r.ops.clear();
            QCOMPARE(r.dispatch(code), code);
            const Ops texts = r.of(DrawOp::Text);
            QVERIFY(texts.size() >= 3);
            const DrawOp& title = texts[texts.size() - 3];
            QCOMPARE(title.text, u"Corvane QV 7700"_s);
            QCOMPARE(QPointF(title.x1, title.y1), QPointF(330, 730));
            QCOMPARE(texts[texts.size() - 2].text, u"Time: 10:31:07"_s);
            QVERIFY(texts.back().text.startsWith(u"Date: "_s));
            QCOMPARE(texts.back().x1, 570.0);
            if (withoutGraticule.count(code)) {
                QVERIFY(r.of(DrawOp::Clear).empty());
                QCOMPARE(r.s().point(110, 110), palette::Red);
                QCOMPARE(texts.size(), size_t(3));
            }
        }
        // Without a signal the graticule gives way to the banner, the overlay stays.
        const Rig r(4, false);
        QCOMPARE(r.ops.front().kind, DrawOp::Clear);
        const Ops boxes = r.of(DrawOp::Box);
        QCOMPARE(int(boxes.size()), 1);
        QCOMPARE(QLineF(boxes[0].x1, boxes[0].y1, boxes[0].x2, boxes[0].y2), QLineF(32, 128, 976, 640));
        const Ops texts = r.of(DrawOp::Text);
        QCOMPARE(texts.size(), size_t(4));
        QCOMPARE(texts[0].text, u"No Signal"_s);
        QCOMPARE(texts[0].size, 50.0);
        QCOMPARE(texts[1].colour, palette::Green);
    }

    void decoderEdges()
    {
        QImage img(kPictureWidth, kPictureHeight, QImage::Format_RGB32);
        img.fill(Qt::black);
        const auto px = [&img](int x, int y) { return img.pixel(x, y) & 0xffffff; };
        std::vector<uint8_t> block(kBlockBytes, 0);
        block[0] = 0xF1;
        block[509] = 0xAF;
        decodeBlock(img, 1, block.data(), 1);
        QCOMPARE(px(2, 16), 0xffffffu);
        QCOMPARE(px(3, 16), 0x404040u);
        QCOMPARE(px(4, 16), 0u);
        block[8159] = 0x12;
        decodeBlock(img, 47, block.data(), kBlockBytes);
        QCOMPARE(px(2, 752), 0xffffffu);
        QCOMPARE(px(1020, 752), 0xffffffu);  // index 10 is white already
        QCOMPARE(px(1021, 752), 0xffffffu);
        QCOMPARE(px(1020, 767), 0x404040u);
        QCOMPARE(px(1021, 767), 0x606060u);
        // Block 0 paints nothing, whatever it holds; zero bytes paint nothing either.
        std::vector<uint8_t> bright(kBlockBytes, 0xFF);
        decodeBlock(img, 0, bright.data(), kBlockBytes);
        for (int y = 0; y < 16; ++y)
            for (int x = 0; x < kPictureWidth; ++x)
                QCOMPARE(px(x, y), 0u);
        // More than one block: the excess runs on into the next rows; past the picture it is dropped.
        std::vector<uint8_t> two(2 * kBlockBytes + 100, 0x99);
        decodeBlock(img, 46, two.data(), int(two.size()));
        QCOMPARE(px(500, 736), 0xdcdcdcu);
        QCOMPARE(px(500, 767), 0xdcdcdcu);
        QCOMPARE(px(1022, 767), 0u);  // columns past 1021 are never painted
        QCOMPARE(px(0, 767), 0u);
        // No bytes, or a block wholly below the picture: nothing is painted.
        const QImage painted = img.copy();
        decodeBlock(img, 47, nullptr, 10);
        decodeBlock(img, 60, two.data(), int(two.size()));
        QVERIFY(img == painted);
        // A picture not laid out as 32-bit pixels is left alone instead of being written past its rows.
        QImage grey(kPictureWidth, kPictureHeight, QImage::Format_Grayscale8);
        grey.fill(0);
        const QImage blank = grey.copy();
        decodeBlock(grey, 1, bright.data(), kRowBytes);
        QVERIFY(grey == blank);
    }
};

QTEST_MAIN(TestRender)
#include "test_render.moc"
