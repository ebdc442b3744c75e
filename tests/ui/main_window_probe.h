#pragma once
// The main window's controls as its tests reach them: the ones the window
// names, and those that hold a settings key by that key.

#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTabWidget>

#include "ui/main_window.h"

namespace ravlen::ui {

class MainWindowProbe {
public:
    explicit MainWindowProbe(FrmMain& window) : w_(window) {}

    QTabWidget* Tabs() const { return w_.tabs_; }
    QPushButton* Go() const { return w_.goButton_; }
    QPushButton* Close() const { return w_.closeButton_; }
    QPushButton* BrowseSource() const { return w_.browseSource_; }
    QPushButton* BrowseOutput() const { return w_.browseOutput_; }
    QPushButton* BrowseBackup() const { return w_.browseBackup_; }
    QPushButton* Help() const { return w_.helpButton_; }
    QPushButton* Undo() const { return w_.undoButton_; }
    QPushButton* UndoLast() const { return w_.undoLastButton_; }
    QPushButton* CameraClocks() const { return w_.cameraClocksButton_; }
    QGroupBox* ExcludeFrame() const { return w_.excludeFrame_; }

    QRadioButton* DateModeMetadataOnly() const { return w_.dateModeMetadataOnly_; }
    QRadioButton* DateModeAllFiles() const { return w_.dateModeAllFiles_; }
    QRadioButton* DateModeFileSystemFallback() const { return w_.dateModeFileSystemFallback_; }
    QRadioButton* DateModeFileSystemOnly() const { return w_.dateModeFileSystemOnly_; }
    QRadioButton* DcfModeDcfOnly() const { return w_.dcfModeDcfOnly_; }
    QRadioButton* DcfModeAllFiles() const { return w_.dcfModeAllFiles_; }
    QRadioButton* DcfModeKeepAsComment() const { return w_.dcfModeKeepAsComment_; }

    // The control of a settings key; null when the window has none.
    QComboBox* List(const char* key) const { return w_.keyed_.List(key); }
    QCheckBox* Check(const char* key) const { return w_.keyed_.Check(key); }
    QLineEdit* Text(const char* key) const { return w_.keyed_.Text(key); }

private:
    FrmMain& w_;
};

}  // namespace ravlen::ui
