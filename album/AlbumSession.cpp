#include "album/AlbumSession.h"

#include "shell/core/Shared.h"

namespace tunora {

void AlbumSession::setSelected(int i, bool on)
{
    if (i < 0 || i >= mp3.size())
        return;
    normaliseSelection();
    mp3Selected[i] = on;
}

int AlbumSession::selectedCount() const
{
    int n = 0;
    for (int i = 0; i < mp3.size(); ++i)
        n += isSelected(i) ? 1 : 0;
    return n;
}

void AlbumSession::normaliseSelection()
{
    while (mp3Selected.size() < mp3.size())
        mp3Selected.append(false);
    if (mp3Selected.size() > mp3.size())
        mp3Selected.resize(mp3.size());
    if (mp3Focus >= mp3.size())
        mp3Focus = static_cast<int>(mp3.size()) - 1;
}

void AlbumSession::setFiles(const QStringList& names)
{
    mp3.clear();
    for (const QString& n : names)
        mp3.append({n, 0});
    mp3Selected = QList<bool>(mp3.size(), false);
    mp3Focus = -1;
    undoAvailable = false;
    notifyChanged();
}

void AlbumSession::clearFiles()
{
    setFiles({});
}

void AlbumSession::deleteSelected()
{
    normaliseSelection();
    // The same index is examined again after a removal, so adjacent selected entries all go.
    for (int i = 0; i < mp3.size();) {
        if (mp3Selected.at(i)) {
            mp3.removeAt(i);
            mp3Selected.removeAt(i);
            if (mp3Focus > i)
                --mp3Focus;
        } else {
            ++i;
        }
    }
    normaliseSelection();
    undoAvailable = false;
    notifyChanged();
}

void AlbumSession::addFakeTrack()
{
    normaliseSelection();
    mp3.append({kFakeTrack, 0});
    mp3Selected.append(false);
    undoAvailable = false;
    notifyChanged();
}

static int onlySelected(const AlbumSession& s)
{
    int found = -1;
    for (int i = 0; i < s.mp3.size(); ++i) {
        if (!s.isSelected(i))
            continue;
        if (found >= 0)
            return -1;
        found = i;
    }
    return found;
}

bool AlbumSession::moveUp()
{
    const int i = onlySelected(*this);
    if (i < 1)
        return false;
    normaliseSelection();
    std::swap(mp3[i - 1].text, mp3[i].text);
    mp3Selected[i] = false;
    mp3Selected[i - 1] = true;
    mp3Focus = i - 1;
    undoAvailable = false;
    notifyChanged();
    return true;
}

bool AlbumSession::moveDown()
{
    const int i = onlySelected(*this);
    if (i < 0 || i >= mp3.size() - 1)
        return false;
    normaliseSelection();
    std::swap(mp3[i].text, mp3[i + 1].text);
    mp3Selected[i] = false;
    mp3Selected[i + 1] = true;
    mp3Focus = i + 1;
    undoAvailable = false;
    notifyChanged();
    return true;
}

int AlbumSession::dragMove(int dragIndex, int focus)
{
    if (dragIndex < 0 || dragIndex >= mp3.size() || focus < 0 || focus >= mp3.size() || focus == dragIndex)
        return dragIndex;
    normaliseSelection();
    std::swap(mp3[dragIndex].text, mp3[focus].text);
    mp3Selected[dragIndex] = false;
    mp3Selected[focus] = true;
    mp3Focus = focus;
    undoAvailable = false;
    notifyChanged();
    return focus;
}

void AlbumSession::initResFrm()
{
    artist.clear();
    album.clear();
    genre.clear();
    year.clear();
    // The statistics and Apply count the fetched tracks: a cleared disc has none.
    fetched.clear();
    tracks.clear();
    discNumber = discCount = 0;
    frontCover.clear();
    tracksFocus = -1;
    notifyChanged();
}

QString AlbumSession::trackLine(int i, const QString& title, bool withBlank)
{
    return '[' + QString::number(i + 1).rightJustified(2, '0') + ']' + (withBlank ? QStringLiteral(" ") : QString()) +
           title;
}

bool AlbumSession::setTrackTitle(int i, const QString& title)
{
    if (i < 0 || i >= fetched.size())
        return false;
    const QString t = title.trimmed();
    fetched[i].text = t;
    while (tracks.size() <= i)
        tracks.append(QString());
    tracks[i] = trackLine(i, t, false);
    notifyChanged();
    return true;
}

int AlbumSession::fakeTrackCount() const
{
    int n = 0;
    for (const ListItem& e : mp3)
        n += e.text.compare(kFakeTrack, Qt::CaseInsensitive) == 0 ? 1 : 0;
    return n;
}

bool AlbumSession::hasFakeTrack() const
{
    QString marker = kFakeTrack;
    return ListContains(marker, fileNames());
}

QStringList AlbumSession::fileNames() const
{
    QStringList out;
    out.reserve(mp3.size());
    for (const ListItem& e : mp3)
        out.append(e.text);
    return out;
}

} // namespace tunora
