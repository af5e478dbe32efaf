// The key animation's clip: the file the build draws, the forms of AVI it reads, and damaged files.

#include "AviBuilder.h"
#include "Suites.h"

#include "Animate.h"
#include "AviClip.h"
#include "ErrorHandler.h"
#include "StoreError.h"

#include <QDir>
#include <QFile>
#include <QPainter>
#include <QRandomGenerator>
#include <QTest>

namespace {

const QString kAviError = QStringLiteral("AVI kann nicht geöffnet werden");

QString keyAviPath()
{
    return QStringLiteral(SICHERHEIT_BIN_DIR "/key.avi");
}

QString aviError(const QByteArray &bytes)
{
    try {
        ui::AviClip::fromBytes(bytes);
    } catch (const store::StoreError &e) {
        return e.message();
    }
    return {};
}

} // namespace

class TestAvi : public QObject
{
    Q_OBJECT

private slots:
    void keyAviIsAPlayableLoop();
    void uncompressedFramesReadInPictureOrder();
    void rle8RunsDeltasAndAbsoluteRuns();
    void brokenOrUnsupportedFilesRaiseTheAviError();
    void damagedKeyAviNeverCrashes();
    void animatePlaysLoopsAndReportsMissingClip();
};

void TestAvi::keyAviIsAPlayableLoop()
{
    const ui::AviClip clip = ui::AviClip::load(keyAviPath());
    QCOMPARE(clip.frameSize(), QSize(64, 64));
    QCOMPARE(clip.frameCount(), 16);
    QCOMPARE(clip.frameInterval(), std::chrono::microseconds(100000));
    // Drawn on the dialog's silver, and actually moving.
    QCOMPARE(clip.frames().front().pixel(0, 0), qRgb(192, 192, 192));
    for (int i = 1; i < clip.frameCount(); ++i)
        QVERIFY2(clip.frames()[std::size_t(i)] != clip.frames()[std::size_t(i - 1)],
                 qPrintable(QString::number(i)));

    // A contact sheet of all frames, to look at.
    QImage sheet(64 * 8, 64 * 2, QImage::Format_RGB32);
    QPainter painter(&sheet);
    for (int i = 0; i < clip.frameCount(); ++i)
        painter.drawImage(64 * (i % 8), 64 * (i / 8), clip.frames()[std::size_t(i)]);
    painter.end();
    QVERIFY(QDir().mkpath(QStringLiteral(SICHERHEIT_SCREENSHOT_DIR)));
    QVERIFY(sheet.save(QStringLiteral(SICHERHEIT_SCREENSHOT_DIR "/key-avi-frames.png")));
}

void TestAvi::uncompressedFramesReadInPictureOrder()
{
    // 24 bit, bottom-up, rows padded to 4 bytes: the first stored row is the bottom one.
    AviBuilder avi;
    avi.frames = {QByteArray("\x00\x00\xff"
                             "\x00\xff\x00"
                             "\x00\x00" // bottom: red, green
                             "\xff\x00\x00"
                             "\xff\xff\xff"
                             "\x00\x00", // top: blue, white
                             16)};
    ui::AviClip clip = ui::AviClip::fromBytes(avi.build());
    QCOMPARE(clip.frameCount(), 1);
    QCOMPARE(clip.frameInterval(), std::chrono::microseconds(40000));
    const QImage &f = clip.frames()[0];
    QCOMPARE(f.pixel(0, 1), qRgb(255, 0, 0));
    QCOMPARE(f.pixel(1, 1), qRgb(0, 255, 0));
    QCOMPARE(f.pixel(0, 0), qRgb(0, 0, 255));
    QCOMPARE(f.pixel(1, 0), qRgb(255, 255, 255));

    // 32 bit top-down, behind a sound stream, with the rate from the stream when the main header has none.
    AviBuilder top;
    top.bitCount = 32;
    top.height = -2;
    top.usPerFrame = 0;
    top.scale = 1;
    top.rate = 8;
    top.withAudioStreamFirst = true;
    top.frameTag = "01db";
    top.frames = {QByteArray("\x00\x00\xff\x00"
                             "\x00\xff\x00\x00"
                             "\xff\x00\x00\x00"
                             "\x10\x20\x30\x00",
                             16),
                  QByteArray()}; // an empty chunk repeats the picture
    clip = ui::AviClip::fromBytes(top.build());
    QCOMPARE(clip.frameCount(), 2);
    QCOMPARE(clip.frameInterval(), std::chrono::microseconds(125000));
    QCOMPARE(clip.frames()[0].pixel(0, 0), qRgb(255, 0, 0));
    QCOMPARE(clip.frames()[0].pixel(1, 1), qRgb(0x30, 0x20, 0x10));
    QCOMPARE(clip.frames()[1], clip.frames()[0]);

    // 8 bit palettised, 3 pixels wide: each row padded by one byte.
    AviBuilder pal;
    pal.bitCount = 8;
    pal.width = 3;
    pal.height = 1;
    pal.palette = {0x000000, 0xC0C0C0, 0xFFD700};
    pal.frames = {QByteArray("\x02\x01\x00\x07", 4)};
    clip = ui::AviClip::fromBytes(pal.build());
    QCOMPARE(clip.frames()[0].pixel(0, 0), qRgb(255, 215, 0));
    QCOMPARE(clip.frames()[0].pixel(1, 0), qRgb(192, 192, 192));
    QCOMPARE(clip.frames()[0].pixel(2, 0), qRgb(0, 0, 0));
}

void TestAvi::rle8RunsDeltasAndAbsoluteRuns()
{
    AviBuilder avi;
    avi.bitCount = 8;
    avi.compression = 1;
    avi.width = 5;
    avi.height = 2;
    avi.palette = {0x000000, 0xFF0000, 0x00FF00, 0x0000FF};
    avi.frames = {
        // bottom row: 5 x red, end of line; top row: absolute 3 (odd, padded), then 2 x green, end of bitmap
        QByteArray("\x05\x01"
                   "\x00\x00"
                   "\x00\x03\x03\x02\x03\x00"
                   "\x02\x02"
                   "\x00\x01",
                   14),
        // a delta frame: skip 2 right and 1 up, paint one blue pixel; everything else stays
        QByteArray("\x00\x02\x02\x01"
                   "\x01\x03"
                   "\x00\x01",
                   8),
        // a run past the right edge is clipped, not written into the next row
        QByteArray("\x09\x02"
                   "\x00\x01",
                   4),
    };
    const ui::AviClip clip = ui::AviClip::fromBytes(avi.build());
    QCOMPARE(clip.frameCount(), 3);
    const QImage &first = clip.frames()[0];
    for (int x = 0; x < 5; ++x)
        QCOMPARE(first.pixel(x, 1), qRgb(255, 0, 0));
    QCOMPARE(first.pixel(0, 0), qRgb(0, 0, 255));
    QCOMPARE(first.pixel(1, 0), qRgb(0, 255, 0));
    QCOMPARE(first.pixel(2, 0), qRgb(0, 0, 255));
    QCOMPARE(first.pixel(3, 0), qRgb(0, 255, 0));
    QCOMPARE(first.pixel(4, 0), qRgb(0, 255, 0));

    QImage expected = first.copy();
    expected.setPixel(2, 0, qRgb(0, 0, 255));
    QCOMPARE(clip.frames()[1], expected);
    for (int x = 0; x < 5; ++x)
        QCOMPARE(clip.frames()[2].pixel(x, 1), qRgb(0, 255, 0));
    QCOMPARE(clip.frames()[2].pixel(0, 0), qRgb(0, 0, 255)); // top row untouched
}

void TestAvi::brokenOrUnsupportedFilesRaiseTheAviError()
{
    try {
        ui::AviClip::load(QStringLiteral("/nonexistent/key.avi"));
        QFAIL("a missing file must not open");
    } catch (const store::StoreError &e) {
        QCOMPARE(e.message(), kAviError);
    }

    AviBuilder good;
    good.frames = {QByteArray(16, '\0')};
    QVERIFY(aviError(good.build()).isEmpty());

    QCOMPARE(aviError({}), kAviError);
    QCOMPARE(aviError("RIFF\x04\0\0\0WAVE"), kAviError);

    const auto variant = [&](auto change) {
        AviBuilder b = good;
        change(b);
        return aviError(b.build());
    };
    QCOMPARE(variant([](AviBuilder &b) { b.compression = 0x47504A4D; }), kAviError); // MJPG
    QCOMPARE(variant([](AviBuilder &b) { b.bitCount = 16; }), kAviError);
    QCOMPARE(variant([](AviBuilder &b) { b.width = 0; }), kAviError);
    QCOMPARE(variant([](AviBuilder &b) { b.width = 100000; }), kAviError);
    QCOMPARE(variant([](AviBuilder &b) { b.frames.clear(); }), kAviError);
    QCOMPARE(variant([](AviBuilder &b) { b.frames = {QByteArray(15, '\0')}; }), kAviError); // short frame
    QCOMPARE(variant([](AviBuilder &b) { b.frameTag = "01db"; }), kAviError); // no frame of the video stream
    QCOMPARE(variant([](AviBuilder &b) {
                 b.compression = 1;
                 b.bitCount = 8;
                 b.height = -2;
             }),
             kAviError); // RLE cannot be top-down

    // A chunk claiming more than its container holds.
    QByteArray huge = good.build();
    const qsizetype movi = huge.indexOf("00db");
    huge[movi + 4] = '\xF0';
    huge[movi + 7] = '\xFF';
    QCOMPARE(aviError(huge), kAviError);
}

void TestAvi::damagedKeyAviNeverCrashes()
{
    QFile file(keyAviPath());
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QByteArray original = file.readAll();

    // Every truncation is refused (the RIFF size no longer fits) rather than read past the end.
    for (qsizetype length = 0; length < original.size(); length += 7)
        QCOMPARE(aviError(original.left(length)), kAviError);

    // Damaged bytes either still decode or are refused; either way nothing is read out of bounds.
    QRandomGenerator random(20240607);
    int refused = 0;
    for (int round = 0; round < 1500; ++round) {
        QByteArray damaged = original;
        for (int hits = 1 + random.bounded(4); hits > 0; --hits)
            damaged[random.bounded(damaged.size())] = static_cast<char>(random.bounded(256));
        if (!aviError(damaged).isEmpty())
            ++refused;
    }
    QVERIFY(refused > 0);
}

void TestAvi::animatePlaysLoopsAndReportsMissingClip()
{
    ui::Animate animate;
    QCOMPARE(animate.colour(), QColor(192, 192, 192));
    try {
        animate.setFileName(QStringLiteral("/nonexistent/key.avi"));
        QFAIL("a missing clip must raise");
    } catch (const store::StoreError &e) {
        QCOMPARE(ui::errorText(e), QStringLiteral("AVI kann nicht geöffnet werden."));
    }
    animate.setActive(true);
    QVERIFY(!animate.isActive());
    QCOMPARE(animate.frameCount(), 0);

    // Two frames at 10 ms each: the control must wrap back to the first.
    AviBuilder quick;
    quick.usPerFrame = 10000;
    quick.frames = {QByteArray(16, '\0'), QByteArray(16, '\x7f')};
    const QString path = QDir::temp().filePath(QStringLiteral("tst_ui_quick.avi"));
    {
        QFile out(path);
        QVERIFY(out.open(QIODevice::WriteOnly));
        out.write(quick.build());
    }
    animate.resize(10, 10);
    animate.setFileName(path);
    animate.setActive(true);
    QVERIFY(animate.isActive());
    QTRY_COMPARE_WITH_TIMEOUT(animate.currentFrame(), 1, 2000);
    QTRY_COMPARE_WITH_TIMEOUT(animate.currentFrame(), 0, 2000);

    // The clip is centred on the background colour.
    animate.setActive(false);
    const QImage shot = animate.grab().toImage();
    QCOMPARE(shot.pixel(0, 0), qRgb(192, 192, 192));
    QCOMPARE(shot.pixel(4, 4), qRgb(0, 0, 0));
    QFile::remove(path);

    animate.setFileName(keyAviPath());
    QCOMPARE(animate.frameCount(), 16);
}

int runAviTests(int argc, char **argv)
{
    TestAvi t;
    return QTest::qExec(&t, testsupport::suiteArguments(argc, argv));
}

#include "tst_avi.moc"
