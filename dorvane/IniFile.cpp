#include "dorvane/IniFile.h"

#include "dorvane/FileIo.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QList>

#include <cerrno>
#include <cstring>
#include <unistd.h>

namespace dorvane::ini {

namespace {

bool isBlank(QChar c)
{
    return c == QChar(' ') || c == QChar('\t');
}

QString trimBlanks(const QString& s)
{
    qsizetype a = 0;
    qsizetype b = s.size();
    while (a < b && isBlank(s.at(a)))
        ++a;
    while (b > a && isBlank(s.at(b - 1)))
        --b;
    return s.mid(a, b - a);
}

enum class Kind { Blank, Comment, Section, Entry };

struct Line {
    qsizetype start = 0; // first byte
    qsizetype length = 0; // bytes without the line end
    Kind kind = Kind::Blank;
    QString name; // section or key name, trimmed
    QString value; // entry value, trimmed
};

QString decodeLine(const QByteArray& bytes, bool utf8)
{
    if (!utf8)
        return io::DecodeCp1252(bytes);
    // Only the file's own byte-order mark is skipped (before the first line). One at the
    // start of a later line is text: dropping it would make "\xEF\xBB\xBF[" a section
    // header when read as UTF-8 but an entry when read as Windows-1252.
    if (bytes.startsWith("\xEF\xBB\xBF"))
        return QChar(0xFEFF) + QString::fromUtf8(bytes.mid(3));
    return QString::fromUtf8(bytes);
}

QList<Line> parse(const QByteArray& bytes)
{
    bool utf8 = true;
    io::DecodeText(bytes, &utf8);
    QList<Line> lines;
    qsizetype pos = 0;
    // A byte-order mark is not part of the first line's text, even in a file that turns out
    // not to be UTF-8 after all: otherwise the first section would vanish or appear with the
    // one byte that decides how the file is read.
    if (bytes.startsWith("\xEF\xBB\xBF"))
        pos = 3;
    while (pos < bytes.size()) {
        qsizetype nl = bytes.indexOf('\n', pos);
        if (nl < 0)
            nl = bytes.size();
        Line l;
        l.start = pos;
        l.length = nl - pos;
        if (l.length > 0 && bytes.at(nl - 1) == '\r')
            --l.length;
        const QString t = trimBlanks(decodeLine(bytes.mid(l.start, l.length), utf8));
        if (t.isEmpty()) {
            l.kind = Kind::Blank;
        } else if (t.startsWith(QChar(';'))) {
            l.kind = Kind::Comment;
        } else if (t.startsWith(QChar('['))) {
            l.kind = Kind::Section;
            const qsizetype close = t.lastIndexOf(QChar(']'));
            l.name = trimBlanks(close > 0 ? t.mid(1, close - 1) : t.mid(1));
        } else {
            l.kind = Kind::Entry;
            const qsizetype eq = t.indexOf(QChar('='));
            l.name = trimBlanks(eq < 0 ? t : t.left(eq));
            l.value = eq < 0 ? QString() : trimBlanks(t.mid(eq + 1));
        }
        lines << l;
        pos = nl + 1;
    }
    return lines;
}

bool sameName(const QString& a, const QString& b)
{
    return a.compare(b, Qt::CaseInsensitive) == 0;
}

// Index of the first section line named section, or -1.
qsizetype findSection(const QList<Line>& lines, const QString& section)
{
    for (qsizetype i = 0; i < lines.size(); ++i)
        if (lines.at(i).kind == Kind::Section && sameName(lines.at(i).name, section))
            return i;
    return -1;
}

bool fitsOnLine(const QString& s)
{
    return !s.contains(QChar(0)) && !s.contains(QChar('\r')) && !s.contains(QChar('\n'));
}

// The first n characters (code points) of s.
QString leftChars(const QString& s, int n)
{
    qsizetype units = 0;
    int chars = 0;
    while (units < s.size() && chars < n) {
        units += (s.at(units).isHighSurrogate() && units + 1 < s.size() && s.at(units + 1).isLowSurrogate()) ? 2 : 1;
        ++chars;
    }
    return s.left(units);
}

} // namespace

std::optional<QString> FindValue(const QByteArray& bytes, const QString& section, const QString& key)
{
    const QList<Line> lines = parse(bytes);
    const QString sec = trimBlanks(section);
    const QString k = trimBlanks(key);
    const qsizetype s = findSection(lines, sec);
    if (s < 0)
        return std::nullopt;
    for (qsizetype i = s + 1; i < lines.size() && lines.at(i).kind != Kind::Section; ++i) {
        const Line& l = lines.at(i);
        if (l.kind != Kind::Entry || !sameName(l.name, k))
            continue;
        QString v = l.value;
        if (v.size() >= 2 && (v.front() == QChar('"') || v.front() == QChar('\'')) && v.back() == v.front())
            v = v.mid(1, v.size() - 2);
        return v;
    }
    return std::nullopt;
}

QString ReadString(const QString& file, const QString& section, const QString& key, const QString& def,
                   int bufferChars)
{
    std::optional<QString> found;
    if (!file.isEmpty()) {
        QByteArray bytes;
        bool missing = false;
        bool tooBig = false;
        int err = 0;
        if (io::ReadSmallFile(file, kMaxIniBytes, &bytes, &missing, &tooBig, &err))
            found = FindValue(bytes, section, key);
    }
    QString out;
    if (found) {
        out = *found;
    } else {
        out = def;
        while (!out.isEmpty() && out.back() == QChar(' '))
            out.chop(1);
    }
    const qsizetype nul = out.indexOf(QChar(0));
    if (nul >= 0)
        out.truncate(nul);
    return leftChars(out, std::max(0, bufferChars - 1));
}

std::optional<QByteArray> WithValue(const QByteArray& bytes, const QString& section, const QString& key,
                                    const QString& value)
{
    const QString sec = trimBlanks(section);
    const QString k = trimBlanks(key);
    if (!fitsOnLine(sec) || sec.contains(QChar(']')) || !fitsOnLine(k) || k.contains(QChar('='))
        || k.startsWith(QChar('[')) || k.startsWith(QChar(';')) || !fitsOnLine(value))
        return std::nullopt;

    bool utf8 = true;
    io::DecodeText(bytes, &utf8);
    QByteArray base = bytes;
    const QString newText = k + "=" + value;
    QByteArray encoded;
    if (!utf8 && !io::EncodeCp1252(newText + "[" + sec + "]", &encoded)) {
        // The new text has no legacy bytes: the whole file moves to UTF-8 rather than mixing two.
        base = io::DecodeText(bytes).toUtf8();
        utf8 = true;
    }
    auto encode = [&](const QString& s) {
        if (utf8)
            return s.toUtf8();
        QByteArray out;
        io::EncodeCp1252(s, &out);
        return out;
    };
    const QByteArray eol = base.contains("\r\n") || !base.contains('\n') ? QByteArray("\r\n") : QByteArray("\n");

    const QList<Line> lines = parse(base);
    const qsizetype s = findSection(lines, sec);
    if (s < 0) {
        QByteArray out = base;
        // A last line cut after its CR only needs the LF; another CR would glue a stray CR
        // to that line and move it into a different section.
        if (!out.isEmpty() && !out.endsWith('\n'))
            out += out.endsWith('\r') ? QByteArray("\n") : eol;
        if (!out.isEmpty())
            out += eol;
        out += encode("[" + sec + "]") + eol + encode(newText) + eol;
        return out;
    }
    qsizetype lastFilled = s;
    for (qsizetype i = s + 1; i < lines.size() && lines.at(i).kind != Kind::Section; ++i) {
        const Line& l = lines.at(i);
        if (l.kind == Kind::Entry && sameName(l.name, k)) {
            // Keep the key as the file spells it.
            return base.left(l.start) + encode(l.name + "=" + value) + base.mid(l.start + l.length);
        }
        if (l.kind != Kind::Blank)
            lastFilled = i;
    }
    const Line& after = lines.at(lastFilled);
    qsizetype at = after.start + after.length;
    QByteArray insert = encode(newText);
    const qsizetype nl = base.indexOf('\n', at);
    if (nl >= 0) {
        at = nl + 1; // past the line end of that line
        insert += eol;
    } else {
        at = base.size();
        insert = (base.endsWith('\r') ? QByteArray("\n") : eol) + insert + eol;
    }
    return base.left(at) + insert + base.mid(at);
}

bool WriteString(const QString& file, const QString& section, const QString& key, const QString& value,
                 QString* error)
{
    auto fail = [&](const QString& why) {
        if (error)
            *error = why;
        return false;
    };
    if (file.isEmpty())
        return fail(QStringLiteral("no file name"));
    const QString target = io::ResolveLinks(file);
    const QFileInfo info(target);
    if (!info.absoluteDir().exists())
        return fail(QStringLiteral("the folder does not exist"));
    QByteArray bytes;
    bool missing = false;
    bool tooBig = false;
    int err = 0;
    if (!io::ReadSmallFile(target, kMaxIniBytes, &bytes, &missing, &tooBig, &err)) {
        if (!missing)
            return fail(QString::fromLocal8Bit(std::strerror(err)));
    } else if (::access(QFile::encodeName(target).constData(), W_OK) != 0
               || !(QFileInfo(target).permissions() & (QFile::WriteOwner | QFile::WriteGroup | QFile::WriteOther))) {
        // No write bit at all is the read-only attribute, even for a user who could override it.
        return fail(QStringLiteral("the file is read-only"));
    }
    const std::optional<QByteArray> out = WithValue(bytes, section, key, value);
    if (!out)
        return fail(QStringLiteral("the name or value cannot be stored in an INI file"));
    if (!missing && *out == bytes)
        return true;
    return io::WriteFileAtomically(target, *out, error, true, 0644);
}

} // namespace dorvane::ini
