#pragma once
// Windows that open within the screen they are shown on, whatever its size
// and scale.

#include <QSize>

class QScrollArea;
class QWidget;

namespace ravlen::ui {

// Sizes a top-level window to `wanted`, or less where the available part of
// its screen (the one its parent is on, else its own) is smaller, and
// places it there, over its parent when it has one.
void FitToScreen(QWidget& window, QSize wanted);

// `page` in a frameless scroll area that takes its name: a page taller or
// wider than the window scrolls rather than pushing the window off a small
// screen. The area asks for the page's whole size where there is room.
QScrollArea* Scrolling(QWidget* page);

}  // namespace ravlen::ui
