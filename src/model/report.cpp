#include "model/report.h"

#include "model/version.h"

namespace ravlen {

void ReportFileProblem(std::string& Notes, const std::string& Message, MsgIcon Icon, const std::string& Title,
                       bool reportErrors, UserPort& port) {
    if (!Notes.empty()) Notes += ' ';
    Notes += Message;
    if (reportErrors) port.MessageBox(Message, Icon, MsgButtons::OK, Title);
}

void ProblemReporter::operator()(std::string& notes, const std::string& message, MsgIcon icon) const {
    ReportFileProblem(notes, message, icon, Version().Title, reportErrors, port);
}

}  // namespace ravlen
