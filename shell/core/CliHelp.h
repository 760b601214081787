// tunora-cli's help, kept as one table: --help prints it, each command's usage comes from it,
// and the build turns it into the man page and the bash completion, so they cannot drift apart.
#pragma once

#include <QList>
#include <QString>
#include <QStringList>

namespace tunora::cli {

struct CommandForm {
    const char* name;     // the command word
    const char* synopsis; // what follows "tunora-cli"; "\n" continues the line
    const char* summary;
};

// Every form of every command, in the order --help lists them.
const QList<CommandForm>& CommandForms();
// The distinct command words, in order.
QStringList CommandNames();

// What --help prints.
QString HelpText();
// The usage of one command, after "usage: tunora-cli ": each of its forms, the lines of a
// long one indented, the forms after the first introduced by "or:".
QByteArray UsageSynopsis(const QString& name);
// The same text as a man page (roff, section 1).
QString ManPage();
// A bash completion script for tunora-cli: command words, each command's options and the
// values of the options that take one of a fixed set.
QString BashCompletion();

} // namespace tunora::cli
