// Qt's own words on screen are Chinese whatever the locale: the save
// dialog's labels and buttons and message boxes' buttons. The check runs
// here and again in a child started under a German locale, as the program
// is started from the desktop.
#include "ui/window/chinese.h"

#include <QAbstractButton>
#include <QApplication>
#include <QFileDialog>
#include <QLabel>
#include <QMessageBox>
#include <QProcess>
#include <QRegularExpression>
#include <QTest>

using namespace Qt::StringLiterals;

class TestChinese : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase() { QVERIFY(tarvelin::installChineseTranslations(*qApp)); }

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
        for (const char *label : {"lookInLabel", "fileNameLabel", "fileTypeLabel"})
            texts << dialog.findChild<QLabel *>(QString::fromLatin1(label))->text();
        for (const QString &text : texts)
            QVERIFY2(text.contains(QRegularExpression(u"\\p{Han}"_s)), qPrintable(text));
    }

    void underAnotherLocale()
    {
        if (qEnvironmentVariableIsSet("TARVELIN_CHINESE_CHILD"))
            QSKIP("the child runs the checks only");
        QProcess child;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        for (const auto &[name, value] : {std::pair{u"LC_ALL"_s, u"de_DE.UTF-8"_s}, {u"LANG"_s, u"de_DE.UTF-8"_s},
                                          {u"LANGUAGE"_s, u"de_DE"_s}, {u"TARVELIN_CHINESE_CHILD"_s, u"1"_s}})
            env.insert(name, value);
        child.setProcessEnvironment(env);
        child.setProcessChannelMode(QProcess::MergedChannels);
        child.start(QCoreApplication::applicationFilePath(), {u"dialogs"_s});
        QVERIFY(child.waitForFinished(60000));
        QVERIFY2(child.exitStatus() == QProcess::NormalExit && child.exitCode() == 0, child.readAll().constData());
    }
};

QTEST_MAIN(TestChinese)
#include "tst_chinese.moc"
