#include "shell/core/CliCommand.h"

#include <cstdio>

namespace tunora {

namespace {
const QString kHelp = QStringLiteral("help");
}

CliCommand::CliCommand(const char* name, const char* synopsis)
    : m_name(QString::fromLatin1(name)), m_synopsis(synopsis)
{
    m_parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    m_parser.addOption(QCommandLineOption({QStringLiteral("h"), kHelp}, QStringLiteral("this text")));
}

void CliCommand::addFlag(const QString& name, const QString& help)
{
    m_parser.addOption(QCommandLineOption(name, help));
}

void CliCommand::addValue(const QString& name, const QString& valueName, const QString& help)
{
    m_parser.addOption(QCommandLineOption(name, help, valueName));
}

void CliCommand::wordsAfterFirstWord()
{
    m_parser.setOptionsAfterPositionalArgumentsMode(QCommandLineParser::ParseAsPositionalArguments);
}

QByteArray CliCommand::usageText() const
{
    return "usage: tunora-cli " + m_synopsis + '\n';
}

int CliCommand::usage(const QString& why) const
{
    std::fprintf(stderr, "tunora-cli %s: %s\n%s", m_name.toLocal8Bit().constData(), why.toLocal8Bit().constData(),
                 usageText().constData());
    return 2;
}

int CliCommand::parse(const QStringList& args)
{
    // The parser takes the program's name first.
    if (!m_parser.parse(QStringList(QStringLiteral("tunora-cli")) + args))
        return usage(m_parser.errorText());
    if (m_parser.isSet(kHelp)) {
        // QCommandLineParser's own text after its usage line: the options, one a line.
        const QString text = m_parser.helpText();
        const qsizetype options = text.indexOf(QLatin1String("Options:"));
        std::printf("%s\n%s", usageText().constData(), options < 0 ? "" : text.mid(options).toLocal8Bit().constData());
        return 0;
    }
    return -1;
}

} // namespace tunora
