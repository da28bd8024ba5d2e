#include "picture/ShownPicture.h"
#include "platform/Screen.h"
#include "ui/PictureArea.h"
#include "viewer/FullScreenWindow.h"

#include <QTest>

using namespace lumorra;

class FullScreenTest : public QObject {
    Q_OBJECT
private slots:
    void largePictureIsCentredWithNegativeEdges();
    void keysCompoundAndRecentre();
    void aClickReturnsAndTheWindowIsKept();
};

namespace {
QImage greenImage(QSize size) {
    QImage image(size, QImage::Format_RGB32);
    image.fill(Qt::darkGreen);
    return image;
}
} // namespace

void FullScreenTest::largePictureIsCentredWithNegativeEdges() {
    FixedScreen screen(QSize(1024, 768));
    FullScreenWindow w(screen);
    QCOMPARE(w.objectName(), QStringLiteral("Form2"));
    QCOMPARE(w.Image1->toolTip(), QStringLiteral("Click to return"));
    w.showPicture(ShownPicture::fromImage(greenImage(QSize(2000, 1000))));
    QVERIFY(w.isVisible());
    QCOMPARE(w.Image1->size(), QSize(2000, 1000));
    QCOMPARE(w.Image1->pos(), QPoint(-488, -116));
    QVERIFY(!w.Image1->stretch());
}

void FullScreenTest::keysCompoundAndRecentre() {
    FixedScreen screen(QSize(1024, 768));
    FullScreenWindow w(screen);
    w.showPicture(ShownPicture::fromImage(greenImage(QSize(400, 200))));
    for (int i = 0; i < 3; ++i)
        QTest::keyClick(&w, Qt::Key_Plus, Qt::KeypadModifier);
    // 400 x 1.05^3 = 463.05, each step rounded to whole pixels.
    QVERIFY(qAbs(w.Image1->width() - 463) <= 1);
    QVERIFY(qAbs(w.Image1->height() - 232) <= 1);
    QVERIFY(w.Image1->stretch());
    const QSize enlarged = w.Image1->size();
    QTest::keyClick(&w, Qt::Key_A);
    QCOMPARE(w.Image1->size(), enlarged);
    QCOMPARE(w.Image1->pos(), QPoint(512 - enlarged.width() / 2, 384 - enlarged.height() / 2));
    // Plus then minus is 0.9975 of the size before, not the same size.
    w.showPicture(ShownPicture::fromImage(greenImage(QSize(1000, 800))));
    QTest::keyClick(&w, Qt::Key_Plus); // the main keyboard's "+" as well
    QTest::keyClick(&w, Qt::Key_Minus, Qt::KeypadModifier);
    QCOMPARE(w.Image1->size(), QSize(998, 798));
    QVERIFY(w.isVisible()); // no key returns
}

void FullScreenTest::aClickReturnsAndTheWindowIsKept() {
    FixedScreen screen(QSize(1024, 768));
    FullScreenWindow w(screen);
    w.showPicture(ShownPicture::fromImage(greenImage(QSize(300, 200))));
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    QTest::mouseClick(w.Image1, Qt::LeftButton, {}, QPoint(10, 10));
    QVERIFY(!w.isVisible());
    QTest::keyClick(&w, Qt::Key_Plus);
    w.show();
    QTest::mouseClick(&w, Qt::LeftButton, {}, QPoint(2, 2)); // the background
    QVERIFY(!w.isVisible());
}

QTEST_MAIN(FullScreenTest)
#include "fullscreen_tests.moc"
