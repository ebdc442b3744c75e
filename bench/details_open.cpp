// How long the preview's Details window takes to open over a long preview,
// and the longest frame while its table and thumbnail grid scroll page by
// page: details_open [--files N]. The files do not exist, so the figures are
// those of the window itself, not of reading thumbnails.

#include <QApplication>
#include <QElapsedTimer>
#include <QListView>
#include <QScrollBar>
#include <QTableView>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "model/file_list.h"
#include "ui/file_table_dialog.h"

int main(int argc, char** argv) {
    int files = 10000;
    for (int i = 1; i + 1 < argc; ++i)
        if (std::strcmp(argv[i], "--files") == 0) files = std::max(1, std::atoi(argv[i + 1]));
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);

    ravlen::FileList list;
    for (int i = 0; i < files; ++i) {
        ravlen::FileFacts f;
        f.SourceFileName = "IMG_" + std::to_string(10000 + i) + ".JPG";
        f.SourceFolder = "/nonexistent/DCIM/" + std::to_string(100 + i / 1000) + "CANON";
        f.OutputFolder = "/nonexistent/Pictures";
        f.OutputFileName = "2024-07-14 @10-11-12 #" + std::to_string(i) + ".jpg";
        f.TimestampDateTime = *ravlen::DateTime::FromFields(2024, 7, 14, 10, 11, 12);
        f.DateSource = "EXIF DateTimeOriginal";
        list.Add(f);
    }

    QElapsedTimer clock;
    clock.start();
    ravlen::ui::FileTableDialog dialog(list);
    dialog.show();
    QApplication::processEvents();
    const double openMs = static_cast<double>(clock.nsecsElapsed()) / 1e6;

    double longestMs = 0;
    int frames = 0;
    for (QAbstractScrollArea* view : {static_cast<QAbstractScrollArea*>(&dialog.Table()),
                                      static_cast<QAbstractScrollArea*>(&dialog.Grid())}) {
        QScrollBar* bar = view->verticalScrollBar();
        for (int at = bar->minimum(); at <= bar->maximum(); at += std::max(1, bar->pageStep())) {
            clock.restart();
            bar->setValue(at);
            view->viewport()->repaint();
            QApplication::processEvents();
            longestMs = std::max(longestMs, static_cast<double>(clock.nsecsElapsed()) / 1e6);
            ++frames;
        }
    }
    std::printf("details_open: %d files, opened in %.1f ms; %d pages scrolled, longest frame %.1f ms\n", files,
                openMs, frames, longestMs);
    return 0;
}
