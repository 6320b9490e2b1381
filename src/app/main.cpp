#include "ui/window/mainwindow.h"
#include "media/mpvengine.h"
#include "ui/components/platformtools.h"
#include "ui/window/chinese.h"
#include "ui/workflow/recovery.h"

#include <QApplication>

#include <clocale>
#include <memory>

int main(int argc, char *argv[])
{
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
