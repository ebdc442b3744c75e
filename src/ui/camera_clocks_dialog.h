#pragma once
// "Camera clocks...": the cameras of the source folder with their files and
// the first and last time each recorded, an offset typed for each, and one
// camera aligned to another by two pictures of the same moment.

#include <QDialog>
#include <memory>
#include <string>

#include "app/clocks/camera_clock_table.h"

class QComboBox;
class QLabel;
class QListWidget;
class QPushButton;
class QTableWidget;
class QTableWidgetItem;

namespace ravlen::ui {

class Messenger;
class ThumbnailLoader;

class CameraClocksDialog : public QDialog {
public:
    // `note`: what the window should know about the survey (a Stop); empty mostly.
    CameraClocksDialog(CameraClockTable table, const Messenger& messenger, const std::string& note,
                       QWidget* parent = nullptr);
    ~CameraClocksDialog() override;

    // After OK: the CameraOffsets text to keep.
    const std::string& OffsetsText() const { return text_; }

    enum Column { CameraColumn, FilesColumn, FirstColumn, LastColumn, OffsetColumn, SuggestedColumn, ColumnCount };
    QTableWidget& Table() { return *table_; }
    QComboBox& ReferenceCamera() { return *referenceCamera_; }
    QComboBox& CorrectedCamera() { return *correctedCamera_; }
    QListWidget& ReferencePictures() { return *referencePictures_; }
    QListWidget& CorrectedPictures() { return *correctedPictures_; }
    QPushButton& AlignButton() { return *align_; }
    QPushButton& OkButton() { return *ok_; }

protected:
    void showEvent(QShowEvent* event) override;

private:
    // Rows asked for before the list knows which rows it shows.
    static constexpr int kRowsBeforeLayout = 16;
    // Asks for the thumbnails of the rows on screen; those already read are shown.
    void AskVisible(QListWidget& pictures, ThumbnailLoader* loader);
    void Fill();
    void OffsetEdited(QTableWidgetItem* item);
    void ShowPictures(QComboBox* camera, QListWidget* pictures, std::unique_ptr<ThumbnailLoader>& thumbnails);
    void ReferenceChosen();
    void CorrectedChosen();
    void Align();
    void Ok();

    CameraClockTable clocks_;
    const Messenger& messenger_;
    std::string text_;
    QTableWidget* table_;
    QComboBox* referenceCamera_;
    QComboBox* correctedCamera_;
    QListWidget* referencePictures_;
    QListWidget* correctedPictures_;
    QLabel* aligned_;
    QPushButton* align_;
    QPushButton* ok_;
    std::unique_ptr<ThumbnailLoader> referenceThumbnails_, correctedThumbnails_;
};

}  // namespace ravlen::ui
