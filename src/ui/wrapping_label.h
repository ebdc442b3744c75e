#pragma once
// A label for file names: breaks lines at the given line breaks and, when the
// text is wider than the label, anywhere (names seldom have spaces).

#include <QFrame>
#include <QString>

class QTextLayout;

namespace ravlen::ui {

class WrappingLabel : public QFrame {
public:
    explicit WrappingLabel(QWidget* parent = nullptr);

    // CR LF and LF both break the line.
    void setText(const QString& text);
    QString text() const { return text_; }
    // Room kept for at least this many lines, so that the window does not
    // jump as the sample grows.
    void setMinimumLines(int lines);

    bool hasHeightForWidth() const override { return true; }
    int heightForWidth(int width) const override;
    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    int LayoutHeight(int width, QTextLayout* layout) const;

    QString text_;
    int minimumLines_ = 1;
};

}  // namespace ravlen::ui
