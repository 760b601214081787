#include "shell/core/CliCommand.h"

#include "shell/core/CliHelp.h"
#include "dorvane/FileIo.h"

#include <cstdio>

namespace tunora {

namespace {
const QString kHelp = QStringLiteral("help");
// Stands in for a word with a single leading "-" while the parser reads the line (a control
// character no file name or value on a command line begins with in practice).
constexpr QChar kStandIn = QChar(0x1);
} // namespace

CliCommand::CliCommand(const char* name)
    : m_name(QString::fromLatin1(name)), m_synopsis(cli::UsageSynopsis(m_name))
{
    m_parser.addOption(QCommandLineOption(kHelp, QStringLiteral("this text")));
}

void CliCommand::addFlag(const QString& name, const QString& help)
{
    m_parser.addOption(QCommandLineOption(name, help));
}

void CliCommand::addValue(const QString& name, const QString& valueName, const QString& help)
{
    m_parser.addOption(QCommandLineOption(name, help, valueName));
}

void CliCommand::addPair(const QString& name, const QString& valueNames, const QString& help)
{
    m_parser.addOption(QCommandLineOption(name, help, valueNames));
    m_pairs << name;
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

void CliCommand::tell(const QString& message) const
{
    // A file name that is not UTF-8 is told as the windows show it.
    std::fprintf(stderr, "tunora-cli %s: %s\n", m_name.toLocal8Bit().constData(),
                 dorvane::io::DisplayName(message).toLocal8Bit().constData());
}

QString CliCommand::restored(const QString& arg) const
{
    if (!arg.startsWith(kStandIn))
        return arg;
    bool ok = false;
    const int i = arg.mid(1).toInt(&ok);
    return ok && i >= 0 && i < m_singleDash.size() ? m_singleDash.at(i) : arg;
}

QStringList CliCommand::values(const QString& name) const
{
    QStringList out;
    for (const QString& v : m_parser.values(name))
        out << restored(v);
    return out;
}

QStringList CliCommand::words() const
{
    QStringList out;
    for (const QString& w : m_parser.positionalArguments())
        out << restored(w);
    return out;
}

int CliCommand::needWords(QStringList* out) const
{
    *out = words();
    if (!out->isEmpty())
        return -1;
    std::fprintf(stderr, "%s", usageText().constData());
    return 2;
}

int CliCommand::parse(const QStringList& args)
{
    // The parser takes the program's name first.
    QStringList line {QStringLiteral("tunora-cli")};
    m_singleDash.clear();
    m_second.clear();
    auto add = [&](const QString& a) {
        if (a.size() > 1 && a.startsWith(QLatin1Char('-')) && !a.startsWith(QLatin1String("--"))) {
            line << kStandIn + QString::number(m_singleDash.size());
            m_singleDash << a;
        } else {
            line << a;
        }
    };
    for (qsizetype i = 0; i < args.size(); ++i) {
        const QString& a = args.at(i);
        if (a == QLatin1String("--")) {
            for (; i < args.size(); ++i)
                add(args.at(i));
            break;
        }
        add(a);
        // The parser takes one word after an option; the second is kept here.
        if (a.startsWith(QLatin1String("--")) && m_pairs.contains(a.mid(2)) && i + 1 < args.size()) {
            if (i + 2 >= args.size())
                return usage(a + QStringLiteral(" needs two words"));
            add(args.at(++i));
            m_second.insert(a.mid(2), args.at(++i));
        }
    }
    if (!m_parser.parse(line))
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
