#include "ui/screen_fit.h"

#include <QGuiApplication>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
#include <QWidget>
#include <algorithm>

namespace ravlen::ui {
namespace {

// Room left for the window's frame and title bar, which the size excludes.
constexpr int kFrameWidth = 16, kFrameHeight = 48;

class PageScroller : public QScrollArea {
public:
    QSize sizeHint() const override {
        if (!widget()) return QScrollArea::sizeHint();
        const int frame = 2 * frameWidth();
        return widget()->sizeHint() + QSize(frame + verticalScrollBar()->sizeHint().width(), frame);
    }
};

}  // namespace

void FitToScreen(QWidget& window, QSize wanted) {
    const QWidget* parent = window.parentWidget() ? window.parentWidget()->window() : nullptr;
    const QScreen* screen = parent ? parent->screen() : window.screen();
    if (!screen) screen = QGuiApplication::primaryScreen();
    if (!screen) {
        window.resize(wanted);
        return;
    }
    const QRect available = screen->availableGeometry();
    const QSize room(available.width() - kFrameWidth, available.height() - kFrameHeight);
    const QSize size = wanted.boundedTo(room).expandedTo(window.minimumSizeHint().boundedTo(room));
    window.resize(size);
    QPoint centre = parent ? parent->frameGeometry().center() : available.center();
    QRect placed(QPoint(0, 0), size + QSize(kFrameWidth, kFrameHeight));
    placed.moveCenter(centre);
    placed.moveLeft(std::clamp(placed.left(), available.left(), available.right() + 1 - placed.width()));
    placed.moveTop(std::clamp(placed.top(), available.top(), available.bottom() + 1 - placed.height()));
    window.move(placed.topLeft());
}

QScrollArea* Scrolling(QWidget* page) {
    auto* area = new PageScroller;
    area->setObjectName(page->objectName());
    page->setObjectName(page->objectName() + "Page");
    area->setFrameShape(QFrame::NoFrame);
    area->setWidgetResizable(true);
    area->setWidget(page);
    return area;
}

}  // namespace ravlen::ui
