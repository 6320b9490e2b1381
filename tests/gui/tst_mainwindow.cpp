// The window as laid out: every control where the design puts it, in the
// right container, with the right settings and tab order.
#include "app/clocklabel.h"
#include "app/mainwindow.h"
#include "components/playerwidget.h"
#include "fakes.h"
#include "link/linklabel.h"

#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QTest>
#include <QTimer>

using tarvelin::MainWindow;
using tarvelin::test::FakeEngine;
using tarvelin::test::FakeTools;

class TestMainWindow : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void init();
    void cleanup();
    void geometry_data();
    void geometry();
    void window();
    void tabOrderAndFocus();
    void pathBoxesAreReadOnly_data();
    void pathBoxesAreReadOnly();
    void editorTakesEnterAndWraps();
    void noDefaultButtonNoAccessKeys();
    void labels();
    void dialogs_data();
    void dialogs();
    void fileNameSurvivesCancel();

private:
    FakeTools *m_tools = nullptr;
    MainWindow *m_window = nullptr;
};

void TestMainWindow::init()
{
    m_tools = new FakeTools;
    m_window = new MainWindow(*m_tools, std::make_unique<FakeEngine>());
    m_window->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_window));
}

void TestMainWindow::cleanup()
{
    delete m_window;
    delete m_tools;
}

void TestMainWindow::geometry_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("container");
    QTest::addColumn<QRect>("pixels"); // at 96 dpi: twips / 15
    QTest::newRow("Frame1") << "Frame1" << "Form1" << QRect(0, 0, 513, 41);
    QTest::newRow("Text1") << "Text1" << "Frame1" << QRect(8, 16, 497, 18);
    QTest::newRow("Frame2") << "Frame2" << "Form1" << QRect(0, 48, 513, 41);
    QTest::newRow("Text2") << "Text2" << "Frame2" << QRect(8, 16, 497, 18);
    QTest::newRow("Frame4") << "Frame4" << "Form1" << QRect(0, 96, 417, 289);
    QTest::newRow("Text3") << "Text3" << "Frame4" << QRect(8, 16, 401, 265);
    QTest::newRow("Command1") << "Command1" << "Form1" << QRect(424, 96, 89, 25);
    QTest::newRow("Command2") << "Command2" << "Form1" << QRect(424, 128, 89, 25);
    QTest::newRow("Command4") << "Command4" << "Form1" << QRect(424, 160, 89, 25);
    QTest::newRow("Command3") << "Command3" << "Form1" << QRect(424, 192, 89, 25);
    QTest::newRow("Label2") << "Label2" << "Form1" << QRect(440, 312, 73, 25);
    QTest::newRow("music1") << "music1" << "Form1" << QRect(0, 392, 521, 193);
}

void TestMainWindow::geometry()
{
    QFETCH(QString, name);
    QFETCH(QString, container);
    QFETCH(QRect, pixels);
    if (!qFuzzyCompare(m_window->screen()->logicalDotsPerInch(), 96.0))
        QSKIP("the expected pixels are for a 96 dpi screen");
    auto *w = m_window->findChild<QWidget *>(name);
    QVERIFY(w);
    QCOMPARE(w->parentWidget()->objectName(), container);
    QCOMPARE(w->geometry(), pixels);
    QVERIFY(w->isVisible());
}

void TestMainWindow::window()
{
    QCOMPARE(m_window->objectName(), QStringLiteral("Form1"));
    QCOMPARE(m_window->windowTitle(), QStringLiteral("Tarvelin v1.0 by:Quorrin"));
    QCOMPARE(m_window->size(), QSize(517, 580));
    QCOMPARE(m_window->minimumSize(), m_window->maximumSize());
    const Qt::WindowFlags flags = m_window->windowFlags();
    QVERIFY(flags & Qt::WindowMinimizeButtonHint);
    QVERIFY(flags & Qt::WindowCloseButtonHint);
    QVERIFY(!(flags & Qt::WindowMaximizeButtonHint));
    // The player runs past the client area and is clipped there.
    QVERIFY(m_window->music1->geometry().right() > m_window->rect().right());
    QVERIFY(m_window->music1->geometry().bottom() > m_window->rect().bottom());
    const QList<QSize> iconSizes{{16, 16}, {32, 32}, {48, 48}, {64, 64}};
    QCOMPARE(m_window->windowIcon().availableSizes(), iconSizes);
    QCOMPARE(m_window->Timer1->interval(), 1000);
    QVERIFY(m_window->Timer1->isActive());
    QVERIFY(m_window->Label2->text().isEmpty());
}

void TestMainWindow::tabOrderAndFocus()
{
    QTRY_COMPARE(QApplication::focusWidget(), static_cast<QWidget *>(m_window->Command1));
    const QList<QWidget *> expected{m_window->Command2, m_window->Text1, m_window->Text2, m_window->music1,
                                    m_window->Command3, m_window->Command4, m_window->Text3, m_window->Command1};
    for (QWidget *next : expected) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        QCOMPARE(QApplication::focusWidget()->objectName(), next->objectName());
    }
}

void TestMainWindow::pathBoxesAreReadOnly_data()
{
    QTest::addColumn<QString>("name");
    QTest::newRow("Text1") << "Text1";
    QTest::newRow("Text2") << "Text2";
}

void TestMainWindow::pathBoxesAreReadOnly()
{
    QFETCH(QString, name);
    auto *box = m_window->findChild<QLineEdit *>(name);
    box->setText(QStringLiteral("/music/song.mp3"));
    box->setFocus();
    QTest::keyClicks(box, QStringLiteral("abc"));
    QTest::keyClick(box, Qt::Key_Backspace);
    QTest::keyClick(box, Qt::Key_V, Qt::ControlModifier);
    QCOMPARE(box->text(), QStringLiteral("/music/song.mp3"));
    QVERIFY(box->focusPolicy() & Qt::TabFocus);
    box->selectAll();
    QCOMPARE(box->selectedText(), QStringLiteral("/music/song.mp3"));
}

void TestMainWindow::editorTakesEnterAndWraps()
{
    QPlainTextEdit *t = m_window->Text3;
    t->setFocus();
    QTest::keyClicks(t, QStringLiteral("ab"));
    QTest::keyClick(t, Qt::Key_Return);
    QTest::keyClicks(t, QStringLiteral("cd"));
    QCOMPARE(t->toPlainText(), QStringLiteral("ab\ncd"));
    QCOMPARE(t->horizontalScrollBarPolicy(), Qt::ScrollBarAlwaysOff);
    QCOMPARE(t->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
    QCOMPARE(t->lineWrapMode(), QPlainTextEdit::WidgetWidth);
    QVERIFY(!t->isReadOnly());
}

void TestMainWindow::noDefaultButtonNoAccessKeys()
{
    for (QPushButton *b : {m_window->Command1, m_window->Command2, m_window->Command3, m_window->Command4}) {
        QVERIFY(!b->isDefault());
        QVERIFY(!b->autoDefault());
        QVERIFY(!b->text().contains(QLatin1Char('&')));
    }
    QCOMPARE(m_window->Command1->text(), QStringLiteral("导入文本"));
    QCOMPARE(m_window->Command2->text(), QStringLiteral("导入歌曲"));
    QCOMPARE(m_window->Command4->text(), QStringLiteral("保存歌词"));
    QCOMPARE(m_window->Command3->text(), QStringLiteral("插入时间"));
    // Escape and Enter in the window press no button: nothing opens.
    QTest::keyClick(m_window->Command1, Qt::Key_Escape);
    QTest::keyClick(m_window->Text1, Qt::Key_Return);
    QTest::keyClick(m_window->Text1, Qt::Key_D, Qt::AltModifier);
    QVERIFY(m_tools->requests.isEmpty());
    QVERIFY(m_window->isVisible());
}

void TestMainWindow::labels()
{
    QCOMPARE(m_window->Label1->text(), QStringLiteral("系统时间:"));
    QCOMPARE(m_window->Label3->text(), QStringLiteral("by:Quorrin"));
    QCOMPARE(m_window->Label3->cursor().shape(), Qt::CrossCursor);
    QVERIFY(!m_window->Label3->isUnderlined());
    // Label1 and Label3 fit their text, from their design corner.
    QCOMPARE(m_window->Label1->size(), m_window->Label1->sizeHint());
    QCOMPARE(m_window->Label3->pos(), QPoint(440, 344));
    // Label2 keeps its size and puts a date and a time on two lines.
    m_window->Label2->setText(QStringLiteral("2026/12/6 21:03:14"));
    QCOMPARE(m_window->Label2->lines(), QStringList({QStringLiteral("2026/12/6"), QStringLiteral("21:03:14")}));
    m_window->Label2->setText(QStringLiteral("2026/12/6"));
    QCOMPARE(m_window->Label2->lines(), QStringList{QStringLiteral("2026/12/6")});
    QCOMPARE(m_window->Label2->size(), QSize(73, 25));
    QCOMPARE(m_window->Frame1->title(), QStringLiteral("导入歌曲路径"));
    QCOMPARE(m_window->Frame2->title(), QStringLiteral("导入文本路径"));
    QCOMPARE(m_window->Frame4->title(), QStringLiteral("歌词显示"));
}

void TestMainWindow::dialogs_data()
{
    QTest::addColumn<int>("which");
    QTest::addColumn<QString>("title");
    QTest::addColumn<QStringList>("types");
    QTest::newRow("opentxt1") << 0 << QStringLiteral("导入歌词") << QStringList{QStringLiteral("*.txt (*.txt)")};
    QTest::newRow("opensong1") << 1 << QStringLiteral("导入歌曲")
                               << QStringList{QStringLiteral("*.mp3 (*.mp3)"), QStringLiteral("*.wma (*.wma)"),
                                              QStringLiteral("*.rm (*.rm)")};
    QTest::newRow("savetxt1") << 2 << QStringLiteral("保存歌词")
                              << QStringList{QStringLiteral("*.lrc (*.lrc)"), QStringLiteral("*.txt (*.txt)")};
}

void TestMainWindow::dialogs()
{
    QFETCH(int, which);
    QFETCH(QString, title);
    QFETCH(QStringList, types);
    tarvelin::FileDialog *dialogs[] = {&m_window->opentxt1, &m_window->opensong1, &m_window->savetxt1};
    tarvelin::FileDialog &d = *dialogs[which];
    QVERIFY(d.FileName.isEmpty());
    QVERIFY(!(which == 2 ? d.ShowSave(m_window) : d.ShowOpen(m_window)));
    QCOMPARE(m_tools->requests.size(), 1);
    QCOMPARE(m_tools->requests.first().title, title);
    QCOMPARE(m_tools->requests.first().nameFilters, types);
    QCOMPARE(m_tools->requests.first().mode, which == 2 ? tarvelin::PlatformTools::FileMode::Save
                                                        : tarvelin::PlatformTools::FileMode::Open);
}

void TestMainWindow::fileNameSurvivesCancel()
{
    tarvelin::FileDialog &d = m_window->opensong1;
    m_tools->answer(QStringLiteral("/music/a.mp3"));
    QVERIFY(d.ShowOpen(m_window));
    QCOMPARE(d.FileName, QStringLiteral("/music/a.mp3"));
    m_tools->cancel();
    QVERIFY(!d.ShowOpen(m_window));
    QCOMPARE(d.FileName, QStringLiteral("/music/a.mp3"));
}

QTEST_MAIN(TestMainWindow)
#include "tst_mainwindow.moc"
