#include "ui/wrapping_label.h"

#include <QEvent>
#include <QPainter>
#include <QTextLayout>
#include <QTextOption>

#include <cmath>

namespace ravlen::ui {

WrappingLabel::WrappingLabel(QWidget* parent) : QFrame(parent) {
    QSizePolicy policy(QSizePolicy::Preferred, QSizePolicy::Preferred);
    policy.setHeightForWidth(true);
    setSizePolicy(policy);
}

void WrappingLabel::setText(const QString& text) {
    QString shown = text;
    shown.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    shown.replace(QLatin1Char('\n'), QChar::LineSeparator);
    if (shown == text_) return;
    text_ = shown;
    setAccessibleName(text);
    setToolTip(text.isEmpty() ? QString() : QString(text).replace(QStringLiteral("\r\n"), QStringLiteral("\n")));
    updateGeometry();
    update();
}

void WrappingLabel::setMinimumLines(int lines) {
    minimumLines_ = lines < 1 ? 1 : lines;
    updateGeometry();
}

int WrappingLabel::LayoutHeight(int width, QTextLayout* layout) const {
    const int inner = width - 2 * frameWidth();
    QTextOption option;
    option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    layout->setTextOption(option);
    layout->setFont(font());
    layout->beginLayout();
    qreal y = 0;
    for (;;) {
        QTextLine line = layout->createLine();
        if (!line.isValid()) break;
        line.setLineWidth(inner > 1 ? inner : 1);
        line.setPosition(QPointF(0, y));
        y += line.height();
    }
    layout->endLayout();
    const int lines = static_cast<int>(std::ceil(y));
    const int reserved = fontMetrics().lineSpacing() * minimumLines_;
    return (lines > reserved ? lines : reserved) + 2 * frameWidth();
}

int WrappingLabel::heightForWidth(int width) const {
    QTextLayout layout(text_);
    return LayoutHeight(width, &layout);
}

QSize WrappingLabel::sizeHint() const {
    const int width = fontMetrics().averageCharWidth() * 40 + 2 * frameWidth();
    return {width, heightForWidth(width)};
}

QSize WrappingLabel::minimumSizeHint() const {
    const int width = fontMetrics().averageCharWidth() * 12 + 2 * frameWidth();
    return {width, fontMetrics().lineSpacing() * minimumLines_ + 2 * frameWidth()};
}

void WrappingLabel::paintEvent(QPaintEvent* event) {
    QFrame::paintEvent(event);
    QTextLayout layout(text_);
    LayoutHeight(width(), &layout);
    QPainter painter(this);
    painter.setPen(palette().color(isEnabled() ? QPalette::Active : QPalette::Disabled, QPalette::WindowText));
    layout.draw(&painter, QPointF(frameWidth(), frameWidth()));
}

void WrappingLabel::changeEvent(QEvent* event) {
    if (event->type() == QEvent::FontChange) updateGeometry();
    QFrame::changeEvent(event);
}

}  // namespace ravlen::ui
