#include "monitor/FormPlacement.h"

#include "monitor/Settings.h"

#include <QGuiApplication>
#include <QScreen>

namespace km7 {

void RestorePlacement(QWidget* w, const std::string& settingsPath, const std::string& section, bool resizable)
{
    const QRect g = w->geometry();
    WindowPlacement current{g.left(), g.top(), g.left() + g.width(), g.top() + g.height(), w->isMaximized()};
    WindowPlacement p = ReadPlacement(settingsPath, section, resizable, current);
    int width = std::max(1, p.right - p.left);
    int height = std::max(1, p.bottom - p.top);
    if (!QGuiApplication::screenAt(QPoint(p.left, p.top))) {
        p.left = 0;
        p.top = 0;
    }
    if (resizable)
        w->resize(width, height);
    w->move(p.left, p.top);
    if (p.maximized)
        w->showMaximized();
}

void SavePlacement(const QWidget* w, const std::string& settingsPath, const std::string& section, bool resizable)
{
    const QRect g = w->isMaximized() ? w->normalGeometry() : w->geometry();
    const QPoint topLeft = w->isMaximized() ? g.topLeft() : w->pos();
    WindowPlacement p{topLeft.x(), topLeft.y(), topLeft.x() + g.width(), topLeft.y() + g.height(), w->isMaximized()};
    WritePlacement(settingsPath, section, resizable, p);
}

} // namespace km7
