// The start-up baseline: what any Qt Widgets program with an embedded mpv
// pays before its first window shows: a QApplication, one plain QWidget of the
// main window's size, and one initialised mpv handle set up like the player's.

#include <QApplication>
#include <QWidget>

#include <mpv/client.h>

#include <clocale>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    std::setlocale(LC_NUMERIC, "C");

    mpv_handle *mpv = mpv_create();
    if (!mpv)
        return 1;
    mpv_set_option_string(mpv, "config", "no");
    mpv_set_option_string(mpv, "terminal", "no");
    mpv_set_option_string(mpv, "vid", "no");
    mpv_set_option_string(mpv, "idle", "yes");
    mpv_set_option_string(mpv, "ao", "pulse,alsa,null");
    if (mpv_initialize(mpv) < 0)
        return 1;

    QWidget window;
    window.setFixedSize(517, 580);
    window.show();
    const int rc = app.exec();
    mpv_terminate_destroy(mpv);
    return rc;
}
