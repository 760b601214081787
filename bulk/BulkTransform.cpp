#include "bulk/BulkTransform.h"

#include <QChar>
#include <QList>
#include <string>
#include <vector>

namespace tunora {

namespace {

using Text = std::u32string;

// Code points rather than UTF-16 units, so that a letter outside the basic plane is one
// character and never cut in half by a position rule.
Text toText(const QString& s)
{
    const QList<uint> ucs4 = s.toUcs4();
    return Text(ucs4.begin(), ucs4.end());
}

QString fromText(const Text& t)
{
    return QString::fromUcs4(t.data(), static_cast<qsizetype>(t.size()));
}

char32_t upper(char32_t c) { return QChar::toUpper(c); }
char32_t lower(char32_t c) { return QChar::toLower(c); }

bool isLowerLetter(char32_t c) { return upper(c) != lower(c) && c == lower(c); }

Text trimmed(const Text& t)
{
    size_t b = 0, e = t.size();
    while (b < e && t[b] == U' ')
        ++b;
    while (e > b && t[e - 1] == U' ')
        --e;
    return t.substr(b, e - b);
}

// Runs of spaces become one space: every run when all is set, else only the runs holding a
// space that an earlier step made (flags parallel to t).
Text collapseSpaces(const Text& t, const std::vector<bool>& made, bool all)
{
    Text out;
    out.reserve(t.size());
    for (size_t i = 0; i < t.size();) {
        if (t[i] != U' ') {
            out.push_back(t[i++]);
            continue;
        }
        size_t end = i;
        bool anyMade = false;
        for (; end < t.size() && t[end] == U' '; ++end)
            anyMade = anyMade || made[end];
        out.append((all || anyMade) ? 1 : end - i, U' ');
        i = end;
    }
    return out;
}

// uc and lc keep the last four characters (the dot and a three-letter extension).
Text caseAllButLastFour(const Text& t, char32_t (*map)(char32_t))
{
    if (t.size() < 4)
        return t;
    Text out = t;
    for (size_t i = 0; i + 4 < out.size(); ++i)
        out[i] = map(out[i]);
    return out;
}

Text capitaliseWords(const Text& t)
{
    Text out;
    out.reserve(t.size() + 1);
    size_t start = 0;
    while (start <= t.size()) {
        size_t end = t.find(U' ', start);
        if (end == Text::npos)
            end = t.size();
        if (end > start) {
            Text w = t.substr(start, end - start);
            if (w.size() == 1) {
                w[0] = upper(w[0]);
            } else {
                size_t first = (w[0] == U'(') ? 1 : 0;
                w[first] = upper(w[first]);
                for (size_t i = first + 1; i < w.size(); ++i)
                    w[i] = lower(w[i]);
            }
            out += w;
            out.push_back(U' ');
        }
        start = end + 1;
    }
    while (!out.empty() && out.back() == U' ')
        out.pop_back();
    return out;
}

// Inserts a space between a lower-case letter and a following character that is its own
// upper case (a capital, a digit, punctuation). The last pairs, those within the
// extension and the one just before it, are never examined.
void unmerge(Text& t, std::vector<bool>& made)
{
    size_t i = 1; // 1-based cursor
    while (i + 5 < t.size()) {
        const char32_t c = t[i - 1];
        const char32_t d = t[i];
        if (isLowerLetter(c) && d != U' ' && d == upper(d)) {
            t.insert(t.begin() + static_cast<std::ptrdiff_t>(i), U' ');
            made.insert(made.begin() + static_cast<std::ptrdiff_t>(i), true);
            i += 2;
        } else {
            ++i;
        }
    }
}

Text replaced(Text t, char32_t from, char32_t to)
{
    for (char32_t& c : t)
        if (c == from)
            c = to;
    return t;
}

} // namespace

QString TransformName(const QString& name, const BulkOptions& o)
{
    Text t = trimmed(toText(name));
    // Which spaces the steps below made, so that only those runs collapse unasked.
    std::vector<bool> made(t.size(), false);
    if (o.under) {
        for (size_t i = 0; i < t.size(); ++i)
            if (t[i] == U'_') {
                t[i] = U' ';
                made[i] = true;
            }
    }
    // Before the case step, which would erase the capitals the words are split on.
    if (o.unmerge)
        unmerge(t, made);
    if (o.case_) {
        switch (o.case_mode) {
        case CaseMode::uc:
            t = caseAllButLastFour(t, upper);
            break;
        case CaseMode::lc:
            t = caseAllButLastFour(t, lower);
            break;
        case CaseMode::fluc:
            t = capitaliseWords(t); // collapses every run of spaces on its way
            made.assign(t.size(), false);
            break;
        }
    }
    t = collapseSpaces(t, made, o.multi);
    if (o.merge)
        std::erase(t, U' ');
    if (o.space)
        t = replaced(std::move(t), U' ', U'_');
    return fromText(t);
}

} // namespace tunora
