// Qt's own words on screen are Chinese whatever the locale: the save
// dialog's buttons and message boxes' buttons. The test runs
// under a German locale, as the program may be started from the desktop.
#include "ui/window/chinese.h"

#include <QAbstractButton>
#include <QApplication>
#include <QFileDialog>
#include <QMessageBox>
#include <QRegularExpression>
#include <QTest>

using namespace Qt::StringLiterals;

// A German desktop's locale, set before the application reads it.
[[maybe_unused]] const bool german = qputenv("LC_ALL", "de_DE.UTF-8") && qputenv("LANGUAGE", "de");

class TestChinese : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase()
    {
        QCOMPARE(QLocale::system().name(), u"de_DE"_s);
        QVERIFY(tarvelin::installChineseTranslations(*qApp));
    }

    void dialogs()
    {
        QFileDialog dialog(nullptr, u"保存歌词"_s);
        dialog.setOption(QFileDialog::DontUseNativeDialog);
        dialog.setAcceptMode(QFileDialog::AcceptSave);
        QMessageBox box(QMessageBox::Warning, u"保存歌词"_s, u"无法保存"_s,
                        QMessageBox::Ok | QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel);
        QStringList texts;
        for (QWidget *window : {static_cast<QWidget *>(&dialog), static_cast<QWidget *>(&box)}) {
            window->show();
            QVERIFY(QTest::qWaitForWindowExposed(window));
            for (const QAbstractButton *button : window->findChildren<QAbstractButton *>())
                if (button->isVisible() && !button->text().isEmpty())
                    texts << button->text();
        }
        QVERIFY(texts.size() >= 6); // Save, Cancel; OK, Yes, No, Cancel
        for (const QString &text : texts)
            QVERIFY2(text.contains(QRegularExpression(u"\\p{Han}"_s)), qPrintable(text));
    }
};

QTEST_MAIN(TestChinese)
#include "tst_chinese.moc"
