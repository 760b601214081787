// The command line of one tunora-cli command, read by QCommandLineParser. Options are long
// ("--name", "--name value", "--name=value"); a word with a single leading "-" is a word (a
// file "-live.mp3"), and "--" ends the options.
#pragma once

#include <QCommandLineParser>
#include <QHash>
#include <QString>
#include <QStringList>

namespace tunora {

class CliCommand {
public:
    // name: the command ("tag"); its usage comes from the help table (CliHelp.h).
    explicit CliCommand(const char* name);

    void addFlag(const QString& name, const QString& help);
    void addValue(const QString& name, const QString& valueName, const QString& help);
    // An option followed by two words ("--read CATEGORY DISCID"): value() the first,
    // secondValue() the second.
    void addPair(const QString& name, const QString& valueNames, const QString& help);

    // Reads args (the words after the command's name). Answers -1 when the command goes on,
    // else its exit code: 0 after --help (the command's usage and options on standard
    // output), 2 after an unknown option or a missing value (the reason and the usage on
    // standard error).
    int parse(const QStringList& args);

    bool isSet(const QString& name) const { return m_parser.isSet(name); }
    QString value(const QString& name) const { return restored(m_parser.value(name)); }
    QString secondValue(const QString& name) const { return m_second.value(name); }
    QStringList values(const QString& name) const;
    QStringList words() const;
    // words() into out; without any, the usage on standard error and 2, else -1 (go on).
    int needWords(QStringList* out) const;

    // "tunora-cli NAME: why" and the usage on standard error; answers 2.
    int usage(const QString& why) const;
    // "tunora-cli NAME: message" on standard error (a warning, or why the command failed).
    void tell(const QString& message) const;
    // tell(why), answering code (the command's exit code).
    int fail(const QString& why, int code = 1) const
    {
        tell(why);
        return code;
    }
    // "usage: tunora-cli " and the synopsis, ending in a line break.
    QByteArray usageText() const;

private:
    QString restored(const QString& arg) const;

    QStringList m_singleDash; // the words that began with one "-", as the user wrote them
    QStringList m_pairs; // the options of two words
    QHash<QString, QString> m_second; // option of two words -> its last second word
    QString m_name;
    QByteArray m_synopsis;
    QCommandLineParser m_parser;
};

} // namespace tunora
