#pragma once
#include <string>

#include "model/user_port.h"

namespace ravlen {

// The one way a stage reports a problem with a file: the message joins the
// file's notes (one space after earlier notes) and, when errors are reported,
// also appears in a message box.
void ReportFileProblem(std::string& Notes, const std::string& Message, MsgIcon Icon, const std::string& Title,
                       bool reportErrors, UserPort& port);

// The same, with the application's title.
struct ProblemReporter {
    UserPort& port;
    bool reportErrors;
    void operator()(std::string& notes, const std::string& message, MsgIcon icon) const;
};

}  // namespace ravlen
