// Qt's own words on screen are Chinese whatever the locale: the save
// dialog's buttons and list, and message boxes' buttons. The test runs
// under a German locale, as the program may be started from the desktop.
#include "desktop/platformtools.h"
#include "desktop/chinese.h"
#include "fakes.h"

#include <QAbstractButton>
#include <QAbstractProxyModel>
#include <QApplication>
#include <QDir>
#include <QFileDialog>
#include <QFileSystemModel>
#include <QMessageBox>
#include <QRegularExpression>
#include <QTemporaryDir>
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

    // The save dialog's buttons and message boxes' buttons; the chooser's
    // list: a folder's type, a text file's type, its size and its date in
    // Chinese, not in the system's language and forms.
    void dialogs()
    {
        QTemporaryDir dir;
        QVERIFY(QDir(dir.path()).mkdir(u"folder"_s));
        QVERIFY(tarvelin::test::writeFile(dir.filePath(u"a.txt"_s), "x"));
        const auto dialog = tarvelin::DesktopTools::fileDialog(nullptr, tarvelin::PlatformTools::FileMode::Save,
                                                               u"保存歌词"_s, {u"*.txt"_s});
        dialog->setDirectory(dir.path());
        QMessageBox box(QMessageBox::Warning, u"保存歌词"_s, u"无法保存"_s,
                        QMessageBox::Ok | QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel);
        QStringList texts;
        for (QWidget *window : {static_cast<QWidget *>(dialog.get()), static_cast<QWidget *>(&box)}) {
            window->show();
            QVERIFY(QTest::qWaitForWindowExposed(window));
            for (const QAbstractButton *button : window->findChildren<QAbstractButton *>())
                if (button->isVisible() && !button->text().isEmpty())
                    texts << button->text();
        }
        QVERIFY(texts.size() >= 6); // Save, Cancel; OK, Yes, No, Cancel
        for (const QString &text : texts)
            QVERIFY2(text.contains(QRegularExpression(u"\\p{Han}"_s)), qPrintable(text));

        QAbstractItemModel *list = dialog->proxyModel();
        const auto *files = dialog->findChild<QFileSystemModel *>();
        QVERIFY(list && files);
        const QModelIndex root = dialog->proxyModel()->mapFromSource(files->index(dir.path()));
        QTRY_COMPARE(list->rowCount(root), 2);
        const QLocale chinese(QLocale::Chinese, QLocale::China);
        for (int row = 0; row < 2; ++row) {
            const QFileInfo info = files->fileInfo(dialog->proxyModel()->mapToSource(list->index(row, 0, root)));
            const auto column = [&](int c) { return list->index(row, c, root).data().toString(); };
            if (info.isDir()) {
                QCOMPARE(column(2), u"文件夹"_s);
            } else {
                QCOMPARE(column(1), chinese.formattedDataSize(1));
                QVERIFY2(column(2).contains(QRegularExpression(u"\\p{Han}"_s)), qPrintable(column(2)));
            }
            const QString date = chinese.toString(info.lastModified(), QLocale::ShortFormat);
            QVERIFY(date != QLocale::system().toString(info.lastModified(), QLocale::ShortFormat));
            QCOMPARE(column(3), date);
        }
    }
};

QTEST_MAIN(TestChinese)
#include "tst_chinese.moc"
