#include "window/mainwindow.h"
#include "media/lyricscommand.h"
#include "media/mpvengine.h"
#include "desktop/platformtools.h"
#include "desktop/chinese.h"
#include "editor/recovery.h"

#include <QApplication>
#include <QTextStream>

#include <clocale>
#include <memory>

namespace {

// --export, --embed and --help run without a window (and without a display).
int runCommand(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("Tarvelin"));
    QCoreApplication::setOrganizationName(QStringLiteral("Quorrin"));
    QTextStream out(stdout);
    QTextStream err(stderr);
    return tarvelin::runLyricsCommand(QCoreApplication::arguments().mid(1), out, err);
}

} // namespace

int main(int argc, char *argv[])
{
    QStringList arguments;
    for (int i = 1; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    if (tarvelin::isLyricsCommand(arguments))
        return runCommand(argc, argv);

    QApplication app(argc, argv);
    tarvelin::installChineseTranslations(app);
    QApplication::setApplicationName(QStringLiteral("Tarvelin"));
    QApplication::setApplicationVersion(QStringLiteral(TARVELIN_VERSION_STRING));
    QApplication::setOrganizationName(QStringLiteral("Quorrin"));
    // Lets the desktop match the window to its installed entry and icon.
    QGuiApplication::setDesktopFileName(QStringLiteral("io.github.quorrin.tarvelin"));
    // QApplication sets the locale from the environment; libmpv needs C
    // numbers. The one place that sets it, before any engine is made.
    std::setlocale(LC_NUMERIC, "C");

    tarvelin::DesktopTools tools;
    tarvelin::MainWindow window(tools, std::make_unique<tarvelin::MpvEngine>());
    window.show();
    window.startRecovery(tarvelin::defaultRecoveryDirectory());
    return app.exec();
}
