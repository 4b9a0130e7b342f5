// Draws the application icon at each of its sizes into the freedesktop icon
// theme's folder layout: OUT/hicolor/NxN/apps/org.zelmorrow.Orvo2.png.
#include <QDir>
#include <QGuiApplication>
#include <QIcon>
#include <QPixmap>

#include <cstdio>

#include "app/Orvo2Art.h"

int main(int argc, char* argv[]) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s OUTPUT_FOLDER\n", argv[0]);
        return 2;
    }
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication application(argc, argv);
    const QString out = QString::fromLocal8Bit(argv[1]);
    const QIcon icon = app::ApplicationIcon();
    for (int size : app::kIconSizes) {
        const QString folder = QString("%1/hicolor/%2x%2/apps").arg(out).arg(size);
        const QPixmap pixmap = icon.pixmap(size, size);
        if (!QDir().mkpath(folder) || pixmap.size() != QSize(size, size) ||
            !pixmap.save(folder + "/org.zelmorrow.Orvo2.png")) {
            std::fprintf(stderr, "cannot write the %dx%d icon into %s\n", size, size, qPrintable(folder));
            return 1;
        }
    }
    return 0;
}
