// Qt's own words on screen are Chinese whatever the locale: the save
// dialog's labels and buttons, message boxes' buttons and Qt's questions.
// The check runs here and again in a child started under other locales,
// as the program is started from the desktop.
#include "ui/window/chinese.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QLabel>
#include <QMessageBox>
#include <QProcess>
#include <QPushButton>
#include <QTest>

using namespace Qt::StringLiterals;

namespace {

bool isChinese(const QString &text)
{
    for (QChar c : text)
        if (c.unicode() >= 0x4E00 && c.unicode() <= 0x9FFF)
            return true;
    return false;
}

QStringList buttonTexts(const QWidget &window)
{
    QStringList texts;
    for (const QAbstractButton *button : window.findChildren<QAbstractButton *>())
        if (button->isVisible() && !button->text().isEmpty())
            texts << button->text();
    return texts;
}

} // namespace

class TestChinese : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase() { QVERIFY(tarvelin::installChineseTranslations(*qApp)); }

    void saveDialog()
    {
        QFileDialog dialog(nullptr, u"保存歌词"_s);
        dialog.setOption(QFileDialog::DontUseNativeDialog);
        dialog.setAcceptMode(QFileDialog::AcceptSave);
        dialog.setNameFilters({u"歌词 (*.lrc)"_s});
        dialog.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dialog));
        QStringList texts = buttonTexts(dialog);
        QVERIFY(texts.size() >= 2); // Save, Cancel
        for (const char *label : {"lookInLabel", "fileNameLabel", "fileTypeLabel"})
            texts << dialog.findChild<QLabel *>(QString::fromLatin1(label))->text();
        dialog.close();
        for (const QString &text : texts)
            QVERIFY2(isChinese(text), qPrintable(text));
    }

    void messageBox()
    {
        QMessageBox box(QMessageBox::Warning, u"保存歌词"_s, u"无法保存"_s,
                        QMessageBox::Ok | QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel);
        box.show();
        QVERIFY(QTest::qWaitForWindowExposed(&box));
        const QStringList texts = buttonTexts(box);
        box.close();
        QCOMPARE(texts.size(), 4);
        for (const QString &text : texts)
            QVERIFY2(isChinese(text), qPrintable(text));
    }

    // The dialogs' own questions, which a test cannot bring up without a
    // modal dialog: their translations are there.
    void questions_data()
    {
        QTest::addColumn<QString>("context");
        QTest::addColumn<QString>("source");
        QTest::newRow("overwrite") << "QFileDialog" << "%1 already exists.\nDo you want to replace it?";
        QTest::newRow("not found") << "QFileDialog"
                                   << "%1\nFile not found.\nPlease verify the correct file name was given.";
    }
    void questions()
    {
        QFETCH(QString, context);
        QFETCH(QString, source);
        const QString text = QCoreApplication::translate(context.toLatin1().constData(), source.toLatin1().constData());
        QVERIFY2(isChinese(text), qPrintable(text));
    }

    void underLocales_data()
    {
        QTest::addColumn<QString>("locale");
        QTest::newRow("C.UTF-8") << "C.UTF-8";
        QTest::newRow("en_US.UTF-8") << "en_US.UTF-8";
        QTest::newRow("de_DE.UTF-8") << "de_DE.UTF-8";
    }
    void underLocales()
    {
        QFETCH(QString, locale);
        if (qEnvironmentVariableIsSet("TARVELIN_CHINESE_CHILD"))
            QSKIP("the child runs the checks only");
        QProcess child;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(u"LC_ALL"_s, locale);
        env.insert(u"LANG"_s, locale);
        env.insert(u"LANGUAGE"_s, locale.section(u'.', 0, 0));
        env.insert(u"TARVELIN_CHINESE_CHILD"_s, u"1"_s);
        child.setProcessEnvironment(env);
        child.setProcessChannelMode(QProcess::MergedChannels);
        child.start(QCoreApplication::applicationFilePath(), {u"saveDialog"_s, u"messageBox"_s, u"questions"_s});
        QVERIFY(child.waitForFinished(60000));
        QVERIFY2(child.exitStatus() == QProcess::NormalExit && child.exitCode() == 0, child.readAll().constData());
    }
};

QTEST_MAIN(TestChinese)
#include "tst_chinese.moc"
