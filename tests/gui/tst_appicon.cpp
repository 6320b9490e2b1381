// The program icon: the images compiled into the program for the window, and
// the Windows .ico, each at 16, 32, 48 and 64 pixels with real transparency.
#include <QIcon>
#include <QImage>
#include <QImageReader>
#include <QTest>

#include <algorithm>

using namespace Qt::StringLiterals;

namespace {

// The artwork is a rounded tile: its corners must be see-through, and its
// middle solid, or the alpha channel was lost on the way.
void verifyTransparentCorners(const QImage &image)
{
    QVERIFY(image.hasAlphaChannel());
    const int last = image.width() - 1;
    for (const QPoint corner : {QPoint(0, 0), QPoint(last, 0), QPoint(0, last), QPoint(last, last)})
        QCOMPARE(qAlpha(image.pixel(corner)), 0);
    QCOMPARE(qAlpha(image.pixel(image.width() / 2, image.height() / 2)), 255);
}

} // namespace

class TestAppIcon : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void compiledInImage_data();
    void compiledInImage();
    void windowsIconHoldsEverySize();
};

void TestAppIcon::compiledInImage_data()
{
    QTest::addColumn<int>("size");
    for (int size : {16, 32, 48, 64})
        QTest::addRow("%d px", size) << size;
}

void TestAppIcon::compiledInImage()
{
    QFETCH(int, size);
    const QString path = u":/icons/tarvelin-%1.png"_s.arg(size);
    const QImage image(path);
    QVERIFY2(!image.isNull(), qPrintable(path + u" is not compiled in"_s));
    QCOMPARE(image.size(), QSize(size, size));
    verifyTransparentCorners(image);
}

void TestAppIcon::windowsIconHoldsEverySize()
{
    const QString path = QStringLiteral(TARVELIN_SOURCE_DIR "/packaging/icons/tarvelin.ico");
    QImageReader reader(path);
    if (!QImageReader::supportedImageFormats().contains("ico"))
        QSKIP("this Qt has no ICO reader");
    QList<int> sizes;
    for (int i = 0; i < reader.imageCount(); ++i) {
        QVERIFY(reader.jumpToImage(i));
        const QImage image = reader.read();
        QVERIFY2(!image.isNull(), qPrintable(reader.errorString()));
        QCOMPARE(image.width(), image.height());
        verifyTransparentCorners(image);
        sizes << image.width();
    }
    std::sort(sizes.begin(), sizes.end());
    QCOMPARE(sizes, (QList<int>{16, 32, 48, 64}));
}

QTEST_MAIN(TestAppIcon)
#include "tst_appicon.moc"
