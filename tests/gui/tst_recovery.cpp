// The recovery file of unsaved lyrics: when it is written, what it holds,
// what the next start offers, with several instances sharing the folder, and
// when it goes (through the window's close).
#include "ui/workflow/recovery.h"
#include "ui/window/mainwindow.h"
#include "fakes.h"

#include <QLineEdit>

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QSysInfo>
#include <QPlainTextEdit>
#include <QProcess>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

using namespace Qt::StringLiterals;
using tarvelin::PlatformTools;
using tarvelin::RecoveryJournal;

namespace {

// An editor and its journal in the test's folder: one running instance.
struct Instance {
    explicit Instance(const QString &dir, int intervalMs = 300)
        : journal(&editor, dir)
    {
        journal.setIntervalMs(intervalMs);
        journal.setPathSources([this] { return song; }, [this] { return save; });
    }
    QPlainTextEdit editor;
    RecoveryJournal journal;
    QString song = u"/music/春晓.mp3"_s;
    QString save;
};

QString recordedText(const QString &path)
{
    const auto record = tarvelin::readRecoveryFile(path);
    return record ? record->text : u"(no record)"_s;
}

} // namespace

class TestRecovery : public QObject {
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> m_dir;
    QString dir() const { return m_dir->path(); }
    QStringList files() const { return QDir(dir()).entryList(QDir::Files | QDir::Hidden, QDir::Name); }

    // What a SIGKILLed instance leaves: its recovery file, and a lock naming
    // a process that is gone.
    void leaveBehind(const QString &name, const QString &text, const QString &song, const QString &written)
    {
        QProcess gone;
        gone.start(u"cat"_s);
        QVERIFY(gone.waitForStarted());
        const qint64 pid = gone.processId();
        gone.closeWriteChannel();
        QVERIFY(gone.waitForFinished());
        QFile lock(QDir(dir()).filePath(name + u".lock"_s));
        QVERIFY(lock.open(QIODevice::WriteOnly));
        lock.write(QByteArray::number(pid) + '\n' + QCoreApplication::applicationName().toUtf8() + '\n'
                   + QSysInfo::machineHostName().toUtf8() + '\n' + QSysInfo::machineUniqueId() + '\n'
                   + QSysInfo::bootUniqueId() + '\n');
        QFile json(QDir(dir()).filePath(name + u".json"_s));
        QVERIFY(json.open(QIODevice::WriteOnly));
        json.write(u"{\"version\":1,\"song\":\"%1\",\"save\":\"\",\"written\":\"%2\",\"text\":\"%3\"}"_s
                       .arg(song, written, text)
                       .toUtf8());
    }

private Q_SLOTS:
    void init() { m_dir = std::make_unique<QTemporaryDir>(); }

    // The first change is written at once, later ones together no sooner
    // than the interval after the last write, and nothing without a change.
    void writesAtMostOncePerInterval()
    {
        Instance a(dir(), 400);
        QSignalSpy written(&a.journal, &RecoveryJournal::written);
        a.editor.insertPlainText(u"第一行"_s);
        QTRY_COMPARE(written.count(), 1);
        QElapsedTimer sinceWrite;
        sinceWrite.start();
        QVERIFY(!a.journal.writePending());
        QCOMPARE(recordedText(a.journal.filePath()), u"第一行"_s);

        a.editor.insertPlainText(u"\n[00:01.00]"_s);
        a.editor.insertPlainText(u"第二行"_s);
        QVERIFY(a.journal.writePending());
        QTRY_COMPARE_WITH_TIMEOUT(written.count(), 2, 2000);
        QVERIFY2(sinceWrite.elapsed() >= 300, qPrintable(QString::number(sinceWrite.elapsed())));
        QCOMPARE(recordedText(a.journal.filePath()), u"第一行\n[00:01.00]第二行"_s);
        QVERIFY(!a.journal.writePending());
    }

    // The file holds the editor's text exactly (no-break spaces, line
    // separators, the empty last line), the song and the save path; a
    // shorter text replaces it whole, no temporary file stays behind, and a
    // save removes it.
    void holdsTheTextAndPaths()
    {
        Instance a(dir(), 0);
        QSignalSpy written(&a.journal, &RecoveryJournal::written);
        // Saved once, then changed.
        a.save = u"/lyrics/春晓.lrc"_s;
        a.editor.document()->setModified(true);
        a.editor.document()->setModified(false);
        a.save.clear(); // a later cancelled save dialog
        const QString text = u"[00:01.50]\u00A0春眠\u2028不觉晓\n\n[ar:孟浩然]\n"_s;
        a.editor.insertPlainText(text);
        QTRY_VERIFY(written.count() >= 1);
        const auto record = tarvelin::readRecoveryFile(a.journal.filePath());
        QVERIFY(record);
        QCOMPARE(record->text, text);
        QCOMPARE(record->songPath, a.song);
        QCOMPARE(record->savePath, u"/lyrics/春晓.lrc"_s);
        QVERIFY(record->written.isValid());

        const int before = int(written.count());
        a.editor.selectAll();
        a.editor.insertPlainText(u"x"_s);
        QTRY_VERIFY(written.count() > before);
        QCOMPARE(recordedText(a.journal.filePath()), u"x"_s);
        const QString base = QFileInfo(a.journal.filePath()).completeBaseName();
        QCOMPARE(files(), QStringList({base + u".json"_s, base + u".lock"_s}));
        // Saved: nothing left to recover.
        a.editor.document()->setModified(false);
        QVERIFY(!QFile::exists(a.journal.filePath()));
    }

    // Two running instances keep their own files; a third start offers
    // neither, and offers an ended one's file once it has ended.
    void instancesKeepTheirOwnFiles()
    {
        auto a = std::make_unique<Instance>(dir(), 0);
        Instance b(dir(), 0);
        QVERIFY(a->journal.filePath() != b.journal.filePath());
        QSignalSpy writtenA(&a->journal, &RecoveryJournal::written);
        QSignalSpy writtenB(&b.journal, &RecoveryJournal::written);
        a->editor.insertPlainText(u"甲"_s);
        b.editor.insertPlainText(u"乙"_s);
        QTRY_VERIFY(writtenA.count() == 1 && writtenB.count() == 1);
        QCOMPARE(recordedText(a->journal.filePath()), u"甲"_s);
        QCOMPARE(recordedText(b.journal.filePath()), u"乙"_s);

        tarvelin::test::FakeTools tools;
        tools.restoreAnswers = {PlatformTools::RestoreAnswer::Discard};
        const auto load = [](const QString &) {};
        Instance c(dir(), 0);
        QVERIFY(!c.journal.offerLeftovers(tools, nullptr, load));
        QCOMPARE(tools.restoreQuestions.size(), 0);

        const QString pathA = a->journal.filePath();
        a.reset(); // ended without a clean close
        tools.restoreAnswers = {PlatformTools::RestoreAnswer::Restore};
        QVERIFY(c.journal.offerLeftovers(tools, nullptr, load));
        QCOMPARE(tools.restoreQuestions.size(), 1);
        QCOMPARE(c.editor.toPlainText(), u"甲"_s);
        QVERIFY(!QFile::exists(pathA));
        QCOMPARE(recordedText(c.journal.filePath()), u"甲"_s);
        QCOMPARE(recordedText(b.journal.filePath()), u"乙"_s);
    }

    // Files of killed instances: asked newest first; 丢弃 deletes, 恢复
    // restores and keeps the rest for the next start, no answer keeps all.
    void offersWhatKilledInstancesLeft_data()
    {
        QTest::addColumn<QList<PlatformTools::RestoreAnswer>>("answers");
        QTest::addColumn<QString>("restored");
        QTest::addColumn<QStringList>("left"); // leftovers still there
        using A = PlatformTools::RestoreAnswer;
        QTest::newRow("restore the newest") << QList<A>{A::Restore} << u"新"_s << QStringList{u"old"_s};
        QTest::newRow("discard, then restore") << QList<A>{A::Discard, A::Restore} << u"旧"_s << QStringList{};
        QTest::newRow("discard both") << QList<A>{A::Discard, A::Discard} << QString() << QStringList{};
        QTest::newRow("no answer") << QList<A>{A::Later} << QString() << QStringList{u"new"_s, u"old"_s};
    }
    void offersWhatKilledInstancesLeft()
    {
        QFETCH(QList<PlatformTools::RestoreAnswer>, answers);
        QFETCH(QString, restored);
        QFETCH(QStringList, left);
        leaveBehind(u"old"_s, u"旧"_s, u"/a.mp3"_s, u"2026-01-01T10:00:00.000Z"_s);
        leaveBehind(u"new"_s, u"新"_s, u"/b.mp3"_s, u"2026-01-02T10:00:00.000Z"_s);

        tarvelin::test::FakeTools tools;
        tools.restoreAnswers.assign(answers.begin(), answers.end());
        Instance c(dir(), 0);
        const bool didRestore = c.journal.offerLeftovers(tools, nullptr, [](const QString &) {});
        QCOMPARE(didRestore, !restored.isEmpty());
        QCOMPARE(tools.restoreQuestions.size(), answers.size());
        QVERIFY(tools.restoreQuestions[0].contains(u"b.mp3"_s));
        QCOMPARE(c.editor.toPlainText(), restored);
        QStringList leftovers;
        for (const QString &name : {u"new"_s, u"old"_s})
            if (QFile::exists(QDir(dir()).filePath(name + u".json"_s)))
                leftovers << name;
        QCOMPARE(leftovers, left);
    }

    // Through the window: a start restores a killed run's text (unsaved)
    // and its song (loaded, stopped at its start); a close that closes
    // removes the file, one that is cancelled keeps it.
    void windowRestoresAndCloses_data()
    {
        QTest::addColumn<PlatformTools::CloseAnswer>("answer");
        QTest::addColumn<bool>("kept");
        QTest::newRow("不保存") << PlatformTools::CloseAnswer::Discard << false;
        QTest::newRow("保存") << PlatformTools::CloseAnswer::Save << false;
        QTest::newRow("取消") << PlatformTools::CloseAnswer::Cancel << true;
    }
    void windowRestoresAndCloses()
    {
        QFETCH(PlatformTools::CloseAnswer, answer);
        QFETCH(bool, kept);
        leaveBehind(u"killed"_s, u"[00:01.00]春眠\\n处处"_s, u"/music/song.mp3"_s, u"2026-01-01T10:00:00.000Z"_s);
        tarvelin::test::FakeTools tools;
        tools.restoreAnswers = {PlatformTools::RestoreAnswer::Restore};
        auto engine = std::make_unique<tarvelin::test::FakeEngine>();
        tarvelin::test::FakeEngine *fake = engine.get();
        tarvelin::MainWindow window(tools, std::move(engine));
        window.show();
        window.startRecovery(dir());
        auto *editor = window.findChild<QPlainTextEdit *>(u"Text3"_s);
        QCOMPARE(editor->toPlainText(), u"[00:01.00]春眠\n处处"_s);
        QVERIFY(window.hasUnsavedLyrics());
        QCOMPARE(window.findChild<QLineEdit *>(u"Text1"_s)->text(), u"/music/song.mp3"_s);
        QCOMPARE(fake->loads, QStringList{u"/music/song.mp3"_s});
        QCOMPARE(fake->currentState, tarvelin::MediaEngine::State::Stopped);
        QVERIFY(!QFile::exists(QDir(dir()).filePath(u"killed.json"_s)));

        const QStringList own = QDir(dir()).entryList({u"*.json"_s});
        QCOMPARE(own.size(), 1);
        tools.closeAnswer = answer;
        tools.answer(QDir(dir()).filePath(u"saved.lrc"_s));
        window.close();
        QCOMPARE(window.isVisible(), kept);
        QCOMPARE(QFile::exists(QDir(dir()).filePath(own[0])), kept);
    }
};

QTEST_MAIN(TestRecovery)
#include "tst_recovery.moc"
