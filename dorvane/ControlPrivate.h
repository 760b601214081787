// State of one control instance and helpers shared by the control's source files.
#pragma once

#include "dorvane/Dorvanectrl.h"

#include <QString>

namespace dorvane {

struct Dorvanectrl::Private {
    QString pattern;        // mask of the last search
    bool searching = false; // a search is running
    bool stopRequested = false;
};

namespace detail {
// The host's message hook (an OK box), the dialog hook and one turn of the host's event loop.
void ShowMessage(const QString& text);
int RunDialog(QDialog& dialog);
int ExecDialog(QDialog& dialog);
void YieldToHost();
} // namespace detail

} // namespace dorvane
