#include "WindowLook.h"

#include <QApplication>

void WindowLook::prepareApplication()
{
    QCoreApplication::setAttribute(Qt::AA_EnableHighDpiScaling);
    QCoreApplication::setAttribute(Qt::AA_UseHighDpiPixmaps);
}

QPalette WindowLook::palette()
{
    const QColor text(0x3a, 0x3a, 0x3a);
    const QColor window(0xf2, 0xf2, 0xf2);
    QPalette palette(text, window, Qt::white, QColor(0xb8, 0xb8, 0xb8), QColor(0xd8, 0xd8, 0xd8), text, Qt::white,
                     Qt::white, window);
    palette.setColor(QPalette::AlternateBase, QColor(0xf7, 0xf7, 0xf7));
    palette.setColor(QPalette::Highlight, QColor(0x00, 0xbb, 0xbc));
    palette.setColor(QPalette::HighlightedText, Qt::white);
    palette.setColor(QPalette::Link, QColor(0x00, 0xbb, 0xbc));
    palette.setColor(QPalette::LinkVisited, QColor(0x00, 0x9a, 0x9b));
    palette.setColor(QPalette::ToolTipBase, QColor(0xff, 0xff, 0xdc));
    palette.setColor(QPalette::ToolTipText, Qt::black);
    palette.setColor(QPalette::PlaceholderText, QColor(0x9b, 0x9b, 0x9b));
    for (QPalette::ColorRole role : {QPalette::WindowText, QPalette::Text, QPalette::ButtonText})
        palette.setColor(QPalette::Disabled, role, QColor(0x9b, 0x9b, 0x9b));
    palette.setColor(QPalette::Disabled, QPalette::Highlight, QColor(0xb8, 0xb8, 0xb8));
    return palette;
}

void WindowLook::apply()
{
    QApplication::setPalette(palette());
}
