#pragma once
// frmProgress: the modeless window that shows how far a pass has come and
// lets the user stop it.

#include <QDialog>

class QLabel;
class QProgressBar;
class QPushButton;

namespace ravlen::ui {

class FrmProgress : public QDialog {
public:
    explicit FrmProgress(QWidget* owner);

    bool Cancel() const { return cancel_; }
    void SetCancel(bool cancel) { cancel_ = cancel; }

    void SetMessage(const QString& text);
    void SetRange(int minimum, int maximum);
    void SetValue(int value);
    void SetButtonCaption(const QString& caption);
    // The file the pass is on, shortened in its middle to the window's width.
    void SetFile(const QString& name);
    // The bytes done of all, the rate and the time left.
    void SetBytes(const QString& text);

    QLabel* Message = nullptr;
    QLabel* FileName = nullptr;
    QLabel* Bytes = nullptr;
    QProgressBar* ProgressBar1 = nullptr;
    QPushButton* CancelButton = nullptr;

protected:
    // The close box and Escape stop the pass like the button; the window
    // stays until the run driver hides it.
    void closeEvent(QCloseEvent* event) override;
    void reject() override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void CancelButtonClick() { cancel_ = true; }

    void ShowFile();

    bool cancel_ = false;
    QString file_;
};

}  // namespace ravlen::ui
