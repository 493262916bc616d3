// SPDX-License-Identifier: GPL-3.0-or-later
// Saves what an X display shows, the whole screen or one rectangle of it, as
// a PNG file: pemberlock_screen_grab OUTPUT.png [X Y WIDTH HEIGHT]
#include <QGuiApplication>
#include <QPixmap>
#include <QScreen>

#include <cstdio>

int main(int argc, char* argv[]) {
    qputenv("QT_QPA_PLATFORM", "xcb");
    QGuiApplication app(argc, argv);
    if (argc != 2 && argc != 6) {
        std::fprintf(stderr, "usage: %s OUTPUT.png [X Y WIDTH HEIGHT]\n", argv[0]);
        return 2;
    }
    QScreen* screen = QGuiApplication::primaryScreen();
    const QPixmap shot = argc == 6 ? screen->grabWindow(0, std::atoi(argv[2]), std::atoi(argv[3]),
                                                        std::atoi(argv[4]), std::atoi(argv[5]))
                                   : screen->grabWindow(0);
    if (shot.isNull() || !shot.save(QString::fromLocal8Bit(argv[1]), "PNG")) {
        std::fprintf(stderr, "could not grab the screen into %s\n", argv[1]);
        return 1;
    }
    return 0;
}
