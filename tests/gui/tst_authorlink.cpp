// The author link "by:Quorrin": underline under the mouse, off over the bare
// window surface, one page per click, and a failed opener that is reported
// without ending the program. All mouse input goes through the window system
// layer, so Qt's own dispatch (child lookup, propagation to the parent,
// implicit grab, double-click detection) decides who sees each event.
#define QTEST_QPA_MOUSE_HANDLING

#include "app/clocklabel.h"
#include "app/mainwindow.h"
#include "fakes.h"
#include "link/linklabel.h"

#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>
#include <QWindow>

#include <memory>

using tarvelin::MainWindow;
using tarvelin::test::FakeEngine;
using tarvelin::test::FakeTools;

namespace {

const QUrl Homepage(QStringLiteral(TARVELIN_HOMEPAGE));

// A named place in the window, in window coordinates, together with the
// widget that must be found there (nullptr: the bare surface).
struct Spot {
    QPoint pos;
    QWidget *expectedChild;
};

Spot spot(MainWindow &w, const QString &name)
{
    auto centre = [&w](QWidget *widget) {
        return Spot{widget->mapTo(&w, widget->rect().center()), widget};
    };
    if (name == u"label")
        return centre(w.Label3);
    if (name == u"button")
        return centre(w.Command1);
    if (name == u"clock")
        return centre(w.Label2);
    if (name == u"path box")
        return centre(w.Text1);
    if (name == u"editor")
        return centre(w.Text3);
    if (name == u"frame") {
        // Inside Frame1, below its text box: the frame's own surface.
        const QRect box = w.Text1->geometry();
        const QPoint inFrame(box.left() / 2, (box.bottom() + w.Frame1->height()) / 2);
        return Spot{w.Frame1->mapTo(&w, inFrame), w.Frame1};
    }
    if (name == u"bare") {
        // The gap between the button column and the clock caption.
        const QRect button = w.Command3->geometry();
        return Spot{QPoint(button.center().x(), (button.bottom() + w.Label1->geometry().top()) / 2),
                    nullptr};
    }
    qFatal("unknown spot %s", qPrintable(name));
}

} // namespace

class TestAuthorLink : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void init();
    void cleanup();

    void underlineFollowsTheMouse_data();
    void underlineFollowsTheMouse();

    void clicksOpenThePageOncePerClick_data();
    void clicksOpenThePageOncePerClick();

    void failedOpenIsReportedAndTheProgramCarriesOn();

private:
    void moveTo(const QString &name);
    QWindow *handle() const { return m_window->windowHandle(); }

    FakeTools m_tools;
    std::unique_ptr<MainWindow> m_window;
};

void TestAuthorLink::init()
{
    m_tools = FakeTools();
    m_window = std::make_unique<MainWindow>(m_tools, std::make_unique<FakeEngine>());
    m_window->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_window.get()));
    // Qt drops a move to where the pointer already is, and the pointer stays
    // where the previous test left it. Park it over a control that no row
    // uses, so that every row's first move is a real one.
    QTest::mouseMove(handle(), m_window->Command2->mapTo(m_window.get(), m_window->Command2->rect().center()));
}

void TestAuthorLink::cleanup()
{
    m_window.reset();
}

void TestAuthorLink::moveTo(const QString &name)
{
    const Spot s = spot(*m_window, name);
    // Guard the geometry the rows rely on: a layout change must not quietly
    // turn "over a button" into "over nothing".
    QWidget *hit = m_window->childAt(s.pos);
    QVERIFY2(s.expectedChild ? (hit == s.expectedChild || s.expectedChild->isAncestorOf(hit)) : !hit,
             qPrintable(name + u" lies over "_qs + (hit ? hit->objectName() : u"nothing"_qs)));
    QTest::mouseMove(handle(), s.pos);
}

void TestAuthorLink::underlineFollowsTheMouse_data()
{
    QTest::addColumn<QStringList>("path");
    QTest::addColumn<bool>("underlined");

    QTest::newRow("not touched yet") << QStringList{} << false;
    QTest::newRow("over the label") << QStringList{u"label"_qs} << true;
    QTest::newRow("bare surface only") << QStringList{u"bare"_qs} << false;
    QTest::newRow("label, then bare surface") << QStringList{u"label"_qs, u"bare"_qs} << false;
    QTest::newRow("bare surface, then label") << QStringList{u"bare"_qs, u"label"_qs} << true;
    QTest::newRow("label, then button") << QStringList{u"label"_qs, u"button"_qs} << true;
    QTest::newRow("label, then clock label") << QStringList{u"label"_qs, u"clock"_qs} << true;
    QTest::newRow("label, then text box in a frame") << QStringList{u"label"_qs, u"path box"_qs} << true;
    QTest::newRow("label, then a frame's own surface") << QStringList{u"label"_qs, u"frame"_qs} << true;
    QTest::newRow("label, then editor") << QStringList{u"label"_qs, u"editor"_qs} << true;
    QTest::newRow("label, button, bare surface")
        << QStringList{u"label"_qs, u"button"_qs, u"bare"_qs} << false;
    QTest::newRow("label, bare surface, label again")
        << QStringList{u"label"_qs, u"bare"_qs, u"label"_qs} << true;
}

void TestAuthorLink::underlineFollowsTheMouse()
{
    QFETCH(QStringList, path);
    QFETCH(bool, underlined);

    for (const QString &name : path) {
        moveTo(name);
        if (QTest::currentTestFailed())
            return;
    }
    QCOMPARE(m_window->Label3->isUnderlined(), underlined);
    QVERIFY(m_tools.openedUrls.isEmpty());
}

enum class Gesture { Click, DoubleClick, RightClick, DragOffLabel, DragOntoLabel };
Q_DECLARE_METATYPE(Gesture)

void TestAuthorLink::clicksOpenThePageOncePerClick_data()
{
    QTest::addColumn<Gesture>("gesture");
    QTest::addColumn<int>("repeat");
    QTest::addColumn<int>("opened");

    QTest::newRow("one click") << Gesture::Click << 1 << 1;
    QTest::newRow("three clicks") << Gesture::Click << 3 << 3;
    QTest::newRow("double click") << Gesture::DoubleClick << 1 << 1;
    QTest::newRow("two double clicks") << Gesture::DoubleClick << 2 << 2;
    QTest::newRow("right click") << Gesture::RightClick << 1 << 0;
    QTest::newRow("pressed on label, released off it") << Gesture::DragOffLabel << 1 << 0;
    QTest::newRow("pressed off label, released on it") << Gesture::DragOntoLabel << 1 << 0;
}

void TestAuthorLink::clicksOpenThePageOncePerClick()
{
    QFETCH(Gesture, gesture);
    QFETCH(int, repeat);
    QFETCH(int, opened);

    const QPoint label = spot(*m_window, u"label"_qs).pos;
    const QPoint bare = spot(*m_window, u"bare"_qs).pos;
    for (int i = 0; i < repeat; ++i) {
        switch (gesture) {
        case Gesture::Click:
            QTest::mouseClick(handle(), Qt::LeftButton, {}, label);
            break;
        case Gesture::DoubleClick:
            QTest::mouseDClick(handle(), Qt::LeftButton, {}, label);
            break;
        case Gesture::RightClick:
            QTest::mouseClick(handle(), Qt::RightButton, {}, label);
            break;
        case Gesture::DragOffLabel:
            QTest::mousePress(handle(), Qt::LeftButton, {}, label);
            QTest::mouseMove(handle(), bare);
            QTest::mouseRelease(handle(), Qt::LeftButton, {}, bare);
            break;
        case Gesture::DragOntoLabel:
            QTest::mousePress(handle(), Qt::LeftButton, {}, bare);
            QTest::mouseMove(handle(), label);
            QTest::mouseRelease(handle(), Qt::LeftButton, {}, label);
            break;
        }
    }

    QCOMPARE(m_tools.openedUrls, QList<QUrl>(opened, Homepage));
    QVERIFY(m_tools.errors.isEmpty());
}

void TestAuthorLink::failedOpenIsReportedAndTheProgramCarriesOn()
{
    const QPoint label = spot(*m_window, u"label"_qs).pos;

    m_tools.openUrlResult = false;
    QTest::mouseClick(handle(), Qt::LeftButton, {}, label);

    QCOMPARE(m_tools.openedUrls, QList<QUrl>{Homepage});
    QCOMPARE(m_tools.errors.size(), 1);
    QVERIFY2(m_tools.errors.first().contains(Homepage.toString()), qPrintable(m_tools.errors.first()));
    QVERIFY(m_window->isVisible());

    // The window still answers the mouse, and the next click tries again.
    moveTo(u"bare"_qs);
    QVERIFY(!m_window->Label3->isUnderlined());
    m_tools.openUrlResult = true;
    QTest::mouseClick(handle(), Qt::LeftButton, {}, label);
    QCOMPARE(m_tools.openedUrls.size(), 2);
    QCOMPARE(m_tools.errors.size(), 1);
}

QTEST_MAIN(TestAuthorLink)
#include "tst_authorlink.moc"
