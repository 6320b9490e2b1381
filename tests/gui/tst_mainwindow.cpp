// The window as laid out: every control where the design puts it, in the
// right container, with its caption, settings and tab order.
#include "ui/window/mainwindow.h"
#include "ui/components/playerwidget.h"
#include "fakes.h"
#include "ui/link/linklabel.h"

#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QTest>

#include <array>

using namespace Qt::StringLiterals;
using Mode = tarvelin::PlatformTools::FileMode;

class TestMainWindow : public QObject {
    Q_OBJECT
    tarvelin::test::FakeTools m_tools;
    tarvelin::MainWindow *w = nullptr;

private Q_SLOTS:
    void init()
    {
        m_tools = {};
        w = new tarvelin::MainWindow(m_tools, std::make_unique<tarvelin::test::FakeEngine>());
        w->show();
        QVERIFY(QTest::qWaitForWindowExposed(w));
    }
    void cleanup() { delete w; }

    void geometry_data()
    {
        QTest::addColumn<QString>("container");
        QTest::addColumn<QRect>("pixels"); // at 96 dpi: twips / 15; no size: fits its text
        QTest::addColumn<QString>("caption");
        QTest::newRow("Frame1") << "Form1" << QRect(0, 0, 513, 41) << "导入歌曲路径";
        QTest::newRow("Text1") << "Frame1" << QRect(8, 16, 497, 18) << "";
        QTest::newRow("Frame2") << "Form1" << QRect(0, 48, 513, 41) << "导入文本路径";
        QTest::newRow("Text2") << "Frame2" << QRect(8, 16, 497, 18) << "";
        QTest::newRow("Frame4") << "Form1" << QRect(0, 96, 417, 289) << "歌词显示";
        QTest::newRow("Text3") << "Frame4" << QRect(8, 16, 401, 265) << "";
        QTest::newRow("Command1") << "Form1" << QRect(424, 96, 89, 25) << "导入文本";
        QTest::newRow("Command2") << "Form1" << QRect(424, 128, 89, 25) << "导入歌曲";
        QTest::newRow("Command4") << "Form1" << QRect(424, 160, 89, 25) << "保存歌词";
        QTest::newRow("Command3") << "Form1" << QRect(424, 192, 89, 25) << "插入时间";
        QTest::newRow("Label1") << "Form1" << QRect(440, 288, 0, 0) << "系统时间:";
        QTest::newRow("Label2") << "Form1" << QRect(440, 312, 73, 25) << "";
        QTest::newRow("Label3") << "Form1" << QRect(440, 344, 0, 0) << "by:Quorrin";
        // The player reaches past the window's right and bottom edges.
        QTest::newRow("music1") << "Form1" << QRect(0, 392, 521, 193) << "";
    }
    void geometry()
    {
        QFETCH(QString, container);
        QFETCH(QRect, pixels);
        QFETCH(QString, caption);
        if (!qFuzzyCompare(w->screen()->logicalDotsPerInch(), 96.0))
            QSKIP("the expected pixels are for a 96 dpi screen");
        auto *c = w->findChild<QWidget *>(QString::fromLatin1(QTest::currentDataTag()));
        QVERIFY(c && c->isVisible());
        QCOMPARE(c->parentWidget()->objectName(), container);
        QCOMPARE(c->pos(), pixels.topLeft());
        QCOMPARE(c->size(), pixels.isEmpty() ? c->sizeHint() : pixels.size());
        if (!caption.isEmpty())
            QCOMPARE(c->property(c->inherits("QGroupBox") ? "title" : "text").toString(), caption);
    }

    void window()
    {
        QCOMPARE(w->windowTitle(), u"Tarvelin v1.0 by:Quorrin"_s);
        QCOMPARE(w->size(), QSize(517, 580));
        QCOMPARE(w->minimumSize(), w->maximumSize());
        QVERIFY(!(w->windowFlags() & Qt::WindowMaximizeButtonHint));
        QCOMPARE(w->windowIcon().availableSizes(), (QList<QSize>{{16, 16}, {32, 32}, {48, 48}, {64, 64}}));
        QCOMPARE(w->Label3->cursor().shape(), Qt::CrossCursor);
        // The clock keeps its box and puts a date above its time.
        w->Label2->setText(u"2026/12/6 21:03:14"_s);
        QCOMPARE(w->Label2->lines(), (QStringList{u"2026/12/6"_s, u"21:03:14"_s}));
        QCOMPARE(w->Label2->size(), QSize(73, 25));
        // Focus starts on Command1 and tabs round in the design's order.
        QTRY_COMPARE(QApplication::focusWidget(), w->Command1);
        const QList<QWidget *> order{w->Command2, w->Text1,    w->Text2, w->music1,
                                     w->Command3, w->Command4, w->Text3, w->Command1};
        for (QWidget *next : order) {
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
            QCOMPARE(QApplication::focusWidget()->objectName(), next->objectName());
        }
    }

    void keyboard()
    {
        // Typing does not change the path boxes (tabbing to them is checked above).
        for (QLineEdit *box : {w->Text1, w->Text2}) {
            box->setText(u"/music/song.mp3"_s);
            QTest::keyClicks(box, u"abc"_s);
            QTest::keyClick(box, Qt::Key_Backspace);
            QCOMPARE(box->text(), u"/music/song.mp3"_s);
        }
        // Enter, Escape and Alt+letters press no button.
        QTest::keyClick(w->Command1, Qt::Key_Return);
        QTest::keyClick(w->Command1, Qt::Key_Escape);
        QTest::keyClick(w->Text1, Qt::Key_Return);
        QTest::keyClick(w->Text1, Qt::Key_D, Qt::AltModifier);
        QVERIFY(m_tools.requests.isEmpty());
    }

    void dialogs_data()
    {
        QTest::addColumn<int>("which");
        QTest::addColumn<QString>("title");
        QTest::addColumn<QStringList>("types");
        QTest::newRow("opentxt1") << 0 << "导入歌词" << QStringList{u"*.txt (*.txt)"_s};
        QTest::newRow("opensong1") << 1 << "导入歌曲"
                                   << QStringList{u"*.mp3 (*.mp3)"_s, u"*.wma (*.wma)"_s, u"*.rm (*.rm)"_s};
        QTest::newRow("savetxt1") << 2 << "保存歌词" << QStringList{u"*.lrc (*.lrc)"_s, u"*.txt (*.txt)"_s};
    }
    // Each dialog asks with its title and types; a cancel keeps the last FileName.
    void dialogs()
    {
        QFETCH(int, which);
        QFETCH(QString, title);
        QFETCH(QStringList, types);
        tarvelin::FileDialog &d = *std::array{&w->opentxt1, &w->opensong1, &w->savetxt1}[which];
        const auto show = [&] { return which == 2 ? d.ShowSave(w) : d.ShowOpen(w); };
        m_tools.answer(u"/music/a.mp3"_s);
        m_tools.cancel();
        QVERIFY(show());
        QVERIFY(!show());
        QCOMPARE(d.FileName, u"/music/a.mp3"_s);
        QCOMPARE(m_tools.requests.last().title, title);
        QCOMPARE(m_tools.requests.last().nameFilters, types);
        QCOMPARE(m_tools.requests.last().mode, which == 2 ? Mode::Save : Mode::Open);
    }
};

QTEST_MAIN(TestMainWindow)
#include "tst_mainwindow.moc"
