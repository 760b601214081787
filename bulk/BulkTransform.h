// The bulk renamer's name rules: one pure function from a file name to its new name.
#pragma once

#include <QString>

namespace tunora {

enum class CaseMode { lc, uc, fluc };

// The page's six options; case_mode counts only while case_ is set.
struct BulkOptions {
    bool multi = false;   // runs of spaces become one space
    bool case_ = false;   // letter case standardisation ("case" is a C++ keyword)
    bool unmerge = false; // split words written together
    bool merge = false;   // remove every space
    bool under = false;   // "_" becomes a space
    bool space = false;   // a space becomes "_"
    CaseMode case_mode = CaseMode::fluc;
};

// The new name of a file name (extension included, no folder). Pure: no file-system access.
// Steps, each when its option is on, in the order the captions promise: trim spaces
// (always), underscores to spaces, un-merge (on the name's own capitals), case, then runs
// of spaces collapse (every run with multi, else the runs the earlier steps made), merge,
// spaces to underscores. Characters are Unicode code points with their simple case
// mapping, so accented letters have case.
QString TransformName(const QString& name, const BulkOptions& options);

} // namespace tunora
