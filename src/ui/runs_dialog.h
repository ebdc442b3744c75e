#pragma once
// "Undo last import...": the recent runs of this computer, one to choose.

#include <string>
#include <vector>

#include "model/run_journal.h"

class QWidget;

namespace ravlen::ui {

// Lists the runs (newest first) with the newest not undone chosen; the
// chosen run's id, or "" when cancelled.
std::string ChooseRunToUndo(QWidget* parent, const std::vector<JournalRun>& runs);

}  // namespace ravlen::ui
