// The recovery file of unsaved lyrics: when it is written, what it holds,
// what the next start offers, with several instances sharing the folder, and
// when it goes (through the window's close); a folder that takes no writes.
// A real kill, with its stale lock, is the e2e's part.
#include "editor/recovery.h"
#include "widgets/waveformview.h"
#include "window/mainwindow.h"
#include "fakes.h"

#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProcess>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

#include <unistd.h>

using namespace Qt::StringLiterals;
using CloseAnswer = tarvelin::PlatformTools::CloseAnswer;
using tarvelin::RecoveryJournal;
using Restore = tarvelin::PlatformTools::RestoreAnswer;

namespace {

// An editor and its journal in the test's folder: one running instance.
struct Instance {
    explicit Instance(const QString &dir) : journal(&editor, dir)
    {
        journal.setIntervalMs(0);
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
    QString path(const QString &name) const { return QDir(m_dir->path()).filePath(name); }

    // What an instance that is gone leaves: its recovery file, no lock held.
    void leaveBehind(const QString &name, const QString &text, const QString &song, const QString &written)
    {
        QVERIFY(tarvelin::test::writeFile(path(name + u".json"_s),
                                          QJsonDocument(QJsonObject{{u"version"_s, 1}, {u"song"_s, song}, {u"written"_s, written},
                                                                    {u"text"_s, text}}).toJson()));
    }

    // The user's part of unwritableFolder(), as a user the folder's mode
    // binds: tagging in the window while the folder turns read-only, back,
    // and read-only again; then saving and closing.
    void workInReadOnlyFolder(const QString &base)
    {
        const QString folder = QDir(base).filePath(u"recovery"_s);
        tarvelin::test::WindowFixture f;
        QVERIFY(f.open());
        f.window->startRecovery(folder);
        auto *journal = f.window->findChild<RecoveryJournal *>();
        journal->setIntervalMs(0);
        auto *note = f.window->findChild<QLabel *>(u"recoveryNote"_s);
        QSignalSpy told(journal, &RecoveryJournal::protectionChanged);
        f.editor->insertPlainText(u"[00:01.00]旧"_s);
        QTRY_COMPARE(recordedText(journal->filePath()), u"[00:01.00]旧"_s);
        QVERIFY(!note->isVisible());

        const auto readOnly = QFile::ReadOwner | QFile::ExeOwner;
        QVERIFY(QFile::setPermissions(folder, readOnly));
        f.editor->insertPlainText(u"新"_s);
        QTRY_VERIFY(note->isVisible());
        QCOMPARE(note->text(), u"未保存的歌词无法备份"_s);
        QVERIFY(note->toolTip().contains(folder));
        QCOMPARE(told.count(), 1);
        QVERIFY(QFile::setPermissions(folder, readOnly | QFile::WriteOwner));
        QTRY_COMPARE(note->text(), u"未保存的歌词已重新备份"_s); // tried again without a change
        QCOMPARE(told.count(), 2);
        QCOMPARE(recordedText(journal->filePath()), u"[00:01.00]旧新"_s);

        QVERIFY(QFile::setPermissions(folder, readOnly));
        f.editor->insertPlainText(u"！"_s);
        QTRY_COMPARE(told.count(), 3);
        f.tools.answer(QDir(base).filePath(u"歌.lrc"_s));
        QVERIFY(f.window->saveLyrics());
        QVERIFY(f.window->close()); // the copy the folder keeps is checked by unwritableFolder()
    }

private Q_SLOTS:
    void init() { m_dir = std::make_unique<QTemporaryDir>(); }

    // The file holds the editor's text exactly (no-break spaces, line
    // separators, the empty last line), the song and the last save's path.
    // A shorter text replaces the file whole, and a save removes it.
    void writesTheTextAndPaths()
    {
        Instance a(m_dir->path());
        a.save = u"/lyrics/春晓.lrc"_s; // saved once
        a.editor.document()->setModified(true);
        a.editor.document()->setModified(false);
        const QString text = u"[00:01.50]\u00A0春眠\u2028不觉晓\n\n[ar:孟浩然]\n"_s;
        a.editor.insertPlainText(text);
        QTRY_COMPARE(recordedText(a.journal.filePath()), text);
        const auto record = tarvelin::readRecoveryFile(a.journal.filePath()).value_or(tarvelin::RecoveryRecord());
        QCOMPARE((QStringList{record.text, record.songPath, record.savePath}), (QStringList{text, a.song, a.save}));

        a.editor.selectAll();
        a.editor.insertPlainText(u"x"_s);
        a.editor.insertPlainText(u"y"_s);
        QTRY_COMPARE(recordedText(a.journal.filePath()), u"xy"_s);
        a.editor.document()->setModified(false);
        QVERIFY(!QFile::exists(a.journal.filePath()));
    }

    // Files of instances that are gone: asked newest first; 丢弃 deletes,
    // 恢复 restores into this instance's own file and keeps the rest for the
    // next start, no answer keeps all. A running instance's file, in the
    // same folder and newer than all, is never offered.
    void offersWhatEndedInstancesLeft_data()
    {
        QTest::addColumn<QList<Restore>>("answers");
        QTest::addColumn<QString>("restored");
        QTest::addColumn<QStringList>("left"); // leftovers still there
        QTest::newRow("restore the newest") << QList{Restore::Restore} << u"新"_s << QStringList{u"old.json"_s};
        QTest::newRow("discard, then restore") << QList{Restore::Discard, Restore::Restore} << u"旧"_s << QStringList{};
        QTest::newRow("no answer") << QList{Restore::Later} << QString() << QStringList{u"new.json"_s, u"old.json"_s};
    }
    void offersWhatEndedInstancesLeft()
    {
        QFETCH(QList<Restore>, answers);
        QFETCH(QString, restored);
        Instance running(m_dir->path());
        running.editor.insertPlainText(u"甲"_s);
        QTRY_COMPARE(recordedText(running.journal.filePath()), u"甲"_s);
        leaveBehind(u"old"_s, u"旧"_s, u"/a.mp3"_s, u"2020-01-01T10:00:00.000Z"_s);
        leaveBehind(u"new"_s, u"新"_s, u"/b.mp3"_s, u"2020-01-02T10:00:00.000Z"_s);
        tarvelin::test::FakeTools tools;
        tools.restoreAnswers.assign(answers.begin(), answers.end());
        Instance c(m_dir->path());
        QCOMPARE(c.journal.offerLeftovers(tools, nullptr, [](const QString &) {}), !restored.isEmpty());
        QCOMPARE(tools.restoreQuestions.size(), answers.size());
        QVERIFY(tools.restoreQuestions[0].contains(u"b.mp3"_s));
        QCOMPARE(c.editor.toPlainText(), restored);
        QCOMPARE(recordedText(c.journal.filePath()), restored.isEmpty() ? u"(no record)"_s : restored);
        QCOMPARE(recordedText(running.journal.filePath()), u"甲"_s);
        QTEST(QDir(m_dir->path()).entryList({u"new.json"_s, u"old.json"_s}), "left");
    }

    // Through the window: a start restores a killed run's text (unsaved)
    // and its song (shown, loaded, stopped at its start, its waveform drawn
    // as after an import). The question waits until the window is on the
    // screen and sits over it. A close that is cancelled keeps the file,
    // one that closes removes it.
    void windowRestoresAndCloses()
    {
        const QString song = path(u"song.wav"_s);
        QVERIFY(tarvelin::test::writeToneWav(song, {1.0}, 3));
        leaveBehind(u"killed"_s, u"[00:01.00]春眠\n处处"_s, song, u"2026-01-01T10:00:00.000Z"_s);
        tarvelin::test::FakeTools tools;
        tools.restoreAnswers = {Restore::Restore};
        auto engine = std::make_unique<tarvelin::test::FakeEngine>();
        tarvelin::test::FakeEngine *fake = engine.get();
        tarvelin::MainWindow window(tools, std::move(engine));
        window.startRecovery(m_dir->path());
        window.show();
        QTRY_COMPARE(tools.restoreQuestions.size(), 1);
        QCOMPARE(tools.restoreParents, QList<QWidget *>{&window});
        QCOMPARE(tools.restoreParentsShown, QList<bool>{true});
        QCOMPARE(window.findChild<QPlainTextEdit *>(u"Text3"_s)->toPlainText(), u"[00:01.00]春眠\n处处"_s);
        QVERIFY(window.hasUnsavedLyrics());
        // The song goes the way of an import (what that shows is tst_tagging's).
        QCOMPARE(fake->loads, QStringList{song});
        QTRY_VERIFY(window.findChild<tarvelin::WaveformView *>()->hasWaveform());

        const QStringList own = QDir(m_dir->path()).entryList({u"*.json"_s});
        QCOMPARE(own.size(), 1);
        for (const auto answer : {CloseAnswer::Cancel, CloseAnswer::Discard}) {
            tools.closeAnswer = answer;
            window.close();
            QCOMPARE(window.isVisible(), answer == CloseAnswer::Cancel);
            QCOMPARE(QFile::exists(path(own[0])), window.isVisible());
        }
    }

    // The recovery folder stops taking writes while the user works: the
    // window says so (once, until it is fixed), and again when writes go
    // through. A copy written before the newer text was saved, which the
    // read-only folder keeps from being removed, is never offered at the
    // next start, and goes then. A folder's mode does not bind root: run as
    // root, the user's part runs in a child process as nobody.
    void unwritableFolder()
    {
        if (const QString base = qEnvironmentVariable("TARVELIN_RECOVERY_CHILD"); !base.isEmpty()) {
            workInReadOnlyFolder(base);
            return;
        }
        constexpr uid_t Nobody = 65534;
        QProcess child;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(u"TARVELIN_RECOVERY_CHILD"_s, m_dir->path());
        env.remove(u"XDG_RUNTIME_DIR"_s);
        child.setProcessEnvironment(env);
        child.setProcessChannelMode(QProcess::MergedChannels);
        if (::geteuid() == 0) {
            QVERIFY(::chown(QFile::encodeName(m_dir->path()).constData(), Nobody, Nobody) == 0);
            child.setChildProcessModifier([] {
                if (::setgid(Nobody) != 0 || ::setuid(Nobody) != 0)
                    ::_exit(97);
            });
        }
        child.start(QCoreApplication::applicationFilePath(), {u"unwritableFolder"_s});
        QVERIFY(child.waitForFinished(60000));
        // The next start, the folder writable again.
        const QString folder = path(u"recovery"_s);
        QFile::setPermissions(folder, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        QVERIFY2(child.exitStatus() == QProcess::NormalExit && child.exitCode() == 0, child.readAll().constData());
        const QStringList left = QDir(folder).entryList({u"*.json"_s});
        QCOMPARE(left.size(), 1); // the folder kept it
        Instance next(folder);
        tarvelin::test::FakeTools tools;
        QVERIFY(!next.journal.offerLeftovers(tools, nullptr, [](const QString &) {}));
        QCOMPARE(tools.restoreQuestions, QStringList());
        QVERIFY(!QFile::exists(QDir(folder).filePath(left[0])));
    }
};

QTEST_MAIN(TestRecovery)
#include "tst_recovery.moc"
