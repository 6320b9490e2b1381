// The author link "by:Quorrin": underline under the mouse, off over the bare
// window surface only, one page per click, and a failed opening reported
// without ending the program. All mouse input goes through the window system
// layer, so Qt's own dispatch (child lookup, propagation to the parent,
// implicit grab, double-click detection) decides who sees each event.
#define QTEST_QPA_MOUSE_HANDLING

#include "ui/window/mainwindow.h"
#include "fakes.h"
#include "ui/link/linklabel.h"

#include <QTest>
#include <QWindow>

using namespace Qt::StringLiterals;

enum class Gesture { Click, DoubleClick, RightClick, DragOffLabel };
Q_DECLARE_METATYPE(Gesture)

class TestAuthorLink : public QObject {
    Q_OBJECT

    tarvelin::test::FakeTools m_tools;
    std::unique_ptr<tarvelin::MainWindow> m_window;

    QWindow *handle() const { return m_window->windowHandle(); }
    QWidget *part(const QString &name) const { return m_window->findChild<QWidget *>(name); }
    // In window coordinates: the middle of the named control, or for "bare"
    // the window surface between the button column and the clock caption.
    QPoint spot(const QString &name) const
    {
        if (name == u"bare"_s)
            return {part(u"Command3"_s)->geometry().center().x(), (part(u"Command3"_s)->geometry().bottom() + part(u"Label1"_s)->y()) / 2};
        return part(name)->mapTo(m_window.get(), part(name)->rect().center());
    }

private Q_SLOTS:
    void init()
    {
        m_tools = tarvelin::test::FakeTools();
        m_window = std::make_unique<tarvelin::MainWindow>(m_tools, std::make_unique<tarvelin::test::FakeEngine>());
        m_window->show();
        QVERIFY(QTest::qWaitForWindowExposed(m_window.get()));
        // Qt drops a move to where the pointer already is, and the pointer stays
        // where the previous row left it: park it over a control no row uses.
        QTest::mouseMove(handle(), spot(u"Command2"_s));
    }

    // Only the bare surface takes the underline away; moving from the label onto
    // a button, a text box in a frame or the editor leaves it on.
    void underlineFollowsTheMouse()
    {
        const std::pair<QString, bool> walk[] = {{u"Label3"_s, true}, {u"Command1"_s, true}, {u"Text1"_s, true},
                                                 {u"Text3"_s, true}, {u"bare"_s, false}, {u"Label3"_s, true}};
        for (const auto &[name, underlined] : walk) {
            QTest::mouseMove(handle(), spot(name));
            QVERIFY2(m_window->findChild<tarvelin::LinkLabel *>(u"Label3"_s)->isUnderlined() == underlined, qPrintable(name));
        }
    }

    void clicksOpenThePageOncePerClick_data()
    {
        QTest::addColumn<Gesture>("gesture"); // made twice
        QTest::addColumn<int>("opened");
        QTest::addColumn<bool>("openFails");
        QTest::newRow("double clicks") << Gesture::DoubleClick << 2 << false;
        QTest::newRow("right clicks") << Gesture::RightClick << 0 << false;
        QTest::newRow("pressed on label, released off it") << Gesture::DragOffLabel << 0 << false;
        QTest::newRow("opening fails") << Gesture::Click << 2 << true; // every click tries again
    }
    void clicksOpenThePageOncePerClick()
    {
        QFETCH(Gesture, gesture);
        QFETCH(int, opened);
        QFETCH(bool, openFails);
        m_tools.openUrlResult = !openFails;
        const QPoint label = spot(u"Label3"_s);
        const QPoint release = gesture == Gesture::DragOffLabel ? spot(u"bare"_s) : label;
        for (int i = 0; i < 2; ++i) {
            if (gesture == Gesture::DoubleClick) {
                QTest::mouseDClick(handle(), Qt::LeftButton, {}, label);
            } else if (gesture == Gesture::RightClick) {
                QTest::mouseClick(handle(), Qt::RightButton, {}, label);
            } else {
                QTest::mousePress(handle(), Qt::LeftButton, {}, label);
                QTest::mouseMove(handle(), release);
                QTest::mouseRelease(handle(), Qt::LeftButton, {}, release);
            }
        }
        QCOMPARE(m_tools.openedUrls, QList<QUrl>(opened, QUrl(QStringLiteral(TARVELIN_HOMEPAGE))));
        QCOMPARE(m_tools.errors.size(), openFails ? opened : 0);
        QVERIFY(m_window->isVisible());
    }
};

QTEST_MAIN(TestAuthorLink)
#include "tst_authorlink.moc"
