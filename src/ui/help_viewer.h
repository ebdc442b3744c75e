#pragma once
// The user guide in a window of the program's own, for a desktop without a
// web browser: the guide with its links, and a search field.

#include <QWidget>
#include <string>

class QLabel;
class QLineEdit;
class QPushButton;
class QTextBrowser;

namespace ravlen::ui {

class HelpViewer : public QWidget {
public:
    HelpViewer(QWidget* owner, const std::string& guidePath);

    // Finds the search field's text after (or before) the selection, going
    // round the end; false, with "Not found" shown, when the guide lacks it.
    bool FindNext();
    bool FindPrevious();

    QTextBrowser* Browser = nullptr;
    QLineEdit* SearchText = nullptr;
    QPushButton* PreviousButton = nullptr;
    QPushButton* NextButton = nullptr;
    QLabel* SearchResult = nullptr;

private:
    bool Find(bool backward);
};

// Shows the guide in the viewer that `owner` already has, else in a new one.
HelpViewer* ShowHelpViewer(QWidget* owner, const std::string& guidePath);

}  // namespace ravlen::ui
