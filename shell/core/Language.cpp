#include "shell/core/Language.h"

#include "shell/core/Settings.h"
#include "shell/core/Shared.h"

namespace tunora {

QStringList ParseLanguageFile(const QByteArray& bytes)
{
    QStringList texts;
    const QString all = DecodeText(bytes);
    for (QString line : all.split('\n')) {
        if (line.endsWith('\r'))
            line.chop(1);
        line = line.trimmed();
        if (line.size() < 3)
            continue;
        texts << line.mid(3).trimmed();
    }
    return texts;
}

QStringList ReadLanguageFile(QFile& file)
{
    return ParseLanguageFile(file.read(kMaxLanguageFileBytes));
}

QStringList& LanguageTable()
{
    static QStringList table;
    return table;
}

QString LocalText(const char* english, const char* french)
{
    const bool fr = Setting(setting::kLanguage).trimmed().startsWith(QLatin1String("fr"), Qt::CaseInsensitive);
    return QString::fromUtf8(fr ? french : english);
}

void LoadSettingLanguage()
{
    auto load = [](const QString& name) {
        QFile f(AppFile(name));
        if (!f.open(QIODevice::ReadOnly))
            return false;
        const QStringList texts = ReadLanguageFile(f);
        if (texts.size() != kLanguageTextCount)
            return false;
        LanguageTable() = texts;
        return true;
    };
    const QString langue = Setting(setting::kLanguage).trimmed();
    if (langue.isEmpty() || !load(langue + ".lf"))
        load(QStringLiteral("english.lf"));
}

} // namespace tunora
