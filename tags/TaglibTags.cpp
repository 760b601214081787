// Every format but MP3, through TagLib: one store per tag family (Vorbis comments, MP4
// atoms, ASF attributes, APEv2 items, the ID3v2 chunk of AIFF and WAV), each a table of the
// names other programs read. TagLib only ever writes into a stream of Tunora's in memory.
#include "dorvane/FileIo.h"
#include "tags/FormatTags.h"

#include <QFile>

#include <taglib/aifffile.h>
#include <taglib/apefile.h>
#include <taglib/apeitem.h>
#include <taglib/apetag.h>
#include <taglib/asffile.h>
#include <taglib/asfpicture.h>
#include <taglib/asftag.h>
#include <taglib/attachedpictureframe.h>
#include <taglib/tdebuglistener.h>
#include <taglib/commentsframe.h>
#include <taglib/flacfile.h>
#include <taglib/flacpicture.h>
#include <taglib/id3v2framefactory.h>
#include <taglib/id3v2tag.h>
#include <taglib/infotag.h>
#include <taglib/mp4coverart.h>
#include <taglib/mp4file.h>
#include <taglib/mp4tag.h>
#include <taglib/mpcfile.h>
#include <taglib/opusfile.h>
#include <taglib/tbytevectorstream.h>
#include <taglib/textidentificationframe.h>
#include <taglib/tfilestream.h>
#include <taglib/vorbisfile.h>
#include <taglib/wavfile.h>
#include <taglib/wavpackfile.h>
#include <taglib/xiphcomment.h>

#include <memory>

namespace tunora::tags::detail {

namespace {

using TagLib::ByteVector;
using TagLib::String;

String ts(const QString& s)
{
    return String(s.toUtf8().constData(), String::UTF8);
}

QString qs(const String& s)
{
    return QString::fromStdString(s.to8Bit(true));
}

QByteArray qb(const ByteVector& v)
{
    return QByteArray(v.data(), static_cast<qsizetype>(v.size()));
}

ByteVector tb(const QByteArray& b)
{
    return ByteVector(b.constData(), static_cast<unsigned int>(b.size()));
}

// The texts of the model, in one order for every table below.
enum TextField { kTitle, kArtist, kAlbum, kYear, kComment, kGenre, kAlbumArtist, kTextFields };

QString* textOf(TagFields& f, TextField t)
{
    QString* fields[] = {&f.title, &f.artist, &f.album, &f.year, &f.comment, &f.genre, &f.albumArtist};
    return fields[t];
}

Field fieldOf(TextField t)
{
    const Field fields[] = {Field::Title, Field::Artist, Field::Album, Field::Year,
                            Field::Comment, Field::Genre, Field::AlbumArtist};
    return fields[t];
}

// One family of tags; a missing tag reads as empty.
class Store {
public:
    virtual ~Store() = default;
    virtual QString text(TextField f) const = 0;
    virtual void setText(TextField f, const QString& value) = 0;
    virtual void pair(bool disc, int* number, int* total) const = 0;
    virtual void setPair(bool disc, int number, int total) = 0;
    virtual FrontCover cover() const = 0;
    virtual void setCover(const FrontCover& cover) = 0;
};

// Vorbis comments (FLAC, Ogg Vorbis, Opus). FLAC keeps its pictures in PICTURE blocks, the
// Ogg formats as METADATA_BLOCK_PICTURE comments.
class XiphStore final : public Store {
public:
    XiphStore(TagLib::Ogg::XiphComment* c, TagLib::FLAC::File* flac) : m_c(c), m_flac(flac) {}

    QString text(TextField f) const override
    {
        QString v = first(kKeys[f]);
        if (v.isEmpty() && f == kAlbumArtist)
            v = first("ALBUM ARTIST");
        return v;
    }
    void setText(TextField f, const QString& value) override { put(kKeys[f], value); }
    void pair(bool disc, int* number, int* total) const override
    {
        ParseNumberPair(first(disc ? "DISCNUMBER" : "TRACKNUMBER"), number, total);
        int t = 0, ignored = 0;
        ParseNumberPair(first(disc ? "DISCTOTAL" : "TRACKTOTAL"), &t, &ignored);
        if (t == 0)
            ParseNumberPair(first(disc ? "TOTALDISCS" : "TOTALTRACKS"), &t, &ignored);
        if (t > 0)
            *total = t;
    }
    void setPair(bool disc, int number, int total) override
    {
        m_c->removeFields(disc ? "TOTALDISCS" : "TOTALTRACKS");
        put(disc ? "DISCNUMBER" : "TRACKNUMBER", number > 0 ? QString::number(number) : QString());
        put(disc ? "DISCTOTAL" : "TRACKTOTAL", total > 0 ? QString::number(total) : QString());
    }
    FrontCover cover() const override
    {
        for (TagLib::FLAC::Picture* p : pictures())
            if (p->type() == TagLib::FLAC::Picture::FrontCover)
                return {qb(p->data()), qs(p->mimeType())};
        return {};
    }
    void setCover(const FrontCover& cover) override
    {
        for (TagLib::FLAC::Picture* p : pictures())
            if (p->type() == TagLib::FLAC::Picture::FrontCover) {
                if (m_flac)
                    m_flac->removePicture(p, true);
                else
                    m_c->removePicture(p, true);
            }
        if (cover.isEmpty())
            return;
        auto* p = new TagLib::FLAC::Picture;
        p->setType(TagLib::FLAC::Picture::FrontCover);
        p->setMimeType(ts(cover.mime.isEmpty() ? ImageMime(cover.bytes) : cover.mime));
        p->setData(tb(cover.bytes));
        if (m_flac)
            m_flac->addPicture(p);
        else
            m_c->addPicture(p);
    }

private:
    static constexpr const char* kKeys[kTextFields] = {"TITLE", "ARTIST", "ALBUM", "DATE",
                                                       "COMMENT", "GENRE", "ALBUMARTIST"};
    QString first(const char* key) const
    {
        const auto& map = m_c->fieldListMap();
        const auto it = map.find(key);
        return it == map.end() || it->second.isEmpty() ? QString() : qs(it->second.front());
    }
    void put(const char* key, const QString& value)
    {
        if (value.isEmpty())
            m_c->removeFields(key);
        else
            m_c->addField(key, ts(value), true);
    }
    TagLib::List<TagLib::FLAC::Picture*> pictures() const
    {
        return m_flac ? m_flac->pictureList() : m_c->pictureList();
    }

    TagLib::Ogg::XiphComment* m_c;
    TagLib::FLAC::File* m_flac;
};

// MP4 atoms (M4A with AAC or ALAC): the front cover is the first covr image.
class Mp4Store final : public Store {
public:
    explicit Mp4Store(TagLib::MP4::Tag* t) : m_t(t) {}

    QString text(TextField f) const override
    {
        const String key(kKeys[f], String::Latin1);
        if (!m_t->contains(key))
            return {};
        const TagLib::StringList l = m_t->item(key).toStringList();
        return l.isEmpty() ? QString() : qs(l.front());
    }
    void setText(TextField f, const QString& value) override
    {
        const String key(kKeys[f], String::Latin1);
        if (f == kGenre)
            m_t->removeItem("gnre"); // the genre is written as text
        if (value.isEmpty())
            m_t->removeItem(key);
        else
            m_t->setItem(key, TagLib::StringList(ts(value)));
    }
    void pair(bool disc, int* number, int* total) const override
    {
        const char* key = disc ? "disk" : "trkn";
        if (!m_t->contains(key))
            return;
        const TagLib::MP4::Item::IntPair p = m_t->item(key).toIntPair();
        *number = std::max(0, p.first);
        *total = std::max(0, p.second);
    }
    void setPair(bool disc, int number, int total) override
    {
        const char* key = disc ? "disk" : "trkn";
        if (number <= 0 && total <= 0)
            m_t->removeItem(key);
        else
            m_t->setItem(key, TagLib::MP4::Item(number, total));
    }
    FrontCover cover() const override
    {
        if (!m_t->contains("covr"))
            return {};
        const TagLib::MP4::CoverArtList l = m_t->item("covr").toCoverArtList();
        if (l.isEmpty())
            return {};
        const TagLib::MP4::CoverArt& c = l.front();
        const QString mime = c.format() == TagLib::MP4::CoverArt::PNG ? QStringLiteral("image/png")
                             : c.format() == TagLib::MP4::CoverArt::BMP ? QStringLiteral("image/bmp")
                             : c.format() == TagLib::MP4::CoverArt::GIF ? QStringLiteral("image/gif")
                                                                         : QStringLiteral("image/jpeg");
        return {qb(c.data()), mime};
    }
    void setCover(const FrontCover& cover) override
    {
        TagLib::MP4::CoverArtList l;
        if (m_t->contains("covr"))
            l = m_t->item("covr").toCoverArtList();
        if (!l.isEmpty())
            l.erase(l.begin());
        if (!cover.isEmpty()) {
            const QString mime = cover.mime.isEmpty() ? ImageMime(cover.bytes) : cover.mime;
            const auto format = mime == QLatin1String("image/png")   ? TagLib::MP4::CoverArt::PNG
                                : mime == QLatin1String("image/bmp") ? TagLib::MP4::CoverArt::BMP
                                : mime == QLatin1String("image/gif") ? TagLib::MP4::CoverArt::GIF
                                                                      : TagLib::MP4::CoverArt::JPEG;
            l.prepend(TagLib::MP4::CoverArt(format, tb(cover.bytes)));
        }
        if (l.isEmpty())
            m_t->removeItem("covr");
        else
            m_t->setItem("covr", l);
    }

private:
    static constexpr const char* kKeys[kTextFields] = {"\251nam", "\251ART", "\251alb", "\251day",
                                                       "\251cmt", "\251gen", "aART"};
    TagLib::MP4::Tag* m_t;
};

// ASF attributes (WMA). Title, Author and Description live in the content description.
class AsfStore final : public Store {
public:
    explicit AsfStore(TagLib::ASF::Tag* t) : m_t(t) {}

    QString text(TextField f) const override
    {
        switch (f) {
        case kTitle: return qs(m_t->title());
        case kArtist: return qs(m_t->artist());
        case kComment: return qs(m_t->comment());
        default: return attribute(kKeys[f]);
        }
    }
    void setText(TextField f, const QString& value) override
    {
        switch (f) {
        case kTitle: m_t->setTitle(ts(value)); break;
        case kArtist: m_t->setArtist(ts(value)); break;
        case kComment: m_t->setComment(ts(value)); break;
        default: put(kKeys[f], value);
        }
    }
    void pair(bool disc, int* number, int* total) const override
    {
        ParseNumberPair(attribute(disc ? "WM/PartOfSet" : "WM/TrackNumber"), number, total);
        if (!disc && *total == 0) {
            int ignored = 0;
            ParseNumberPair(attribute("TrackTotal"), total, &ignored);
        }
    }
    void setPair(bool disc, int number, int total) override
    {
        if (disc) {
            put("WM/PartOfSet", NumberPairText(number, total));
            return;
        }
        put("WM/TrackNumber", number > 0 ? QString::number(number) : QString());
        put("TrackTotal", total > 0 ? QString::number(total) : QString());
    }
    FrontCover cover() const override
    {
        for (const TagLib::ASF::Attribute& a : list("WM/Picture")) {
            const TagLib::ASF::Picture p = a.toPicture();
            if (p.isValid() && p.type() == TagLib::ASF::Picture::FrontCover)
                return {qb(p.picture()), qs(p.mimeType())};
        }
        return {};
    }
    void setCover(const FrontCover& cover) override
    {
        TagLib::ASF::AttributeList kept;
        for (const TagLib::ASF::Attribute& a : list("WM/Picture"))
            if (a.toPicture().type() != TagLib::ASF::Picture::FrontCover)
                kept.append(a);
        if (!cover.isEmpty()) {
            TagLib::ASF::Picture p;
            p.setType(TagLib::ASF::Picture::FrontCover);
            p.setMimeType(ts(cover.mime.isEmpty() ? ImageMime(cover.bytes) : cover.mime));
            p.setPicture(tb(cover.bytes));
            kept.prepend(TagLib::ASF::Attribute(p));
        }
        if (kept.isEmpty())
            m_t->removeItem("WM/Picture");
        else
            m_t->setAttribute("WM/Picture", kept);
    }

private:
    static constexpr const char* kKeys[kTextFields] = {"Title", "Author", "WM/AlbumTitle", "WM/Year",
                                                       "Description", "WM/Genre", "WM/AlbumArtist"};
    TagLib::ASF::AttributeList list(const char* key) const
    {
        const auto& map = m_t->attributeListMap();
        const auto it = map.find(key);
        return it == map.end() ? TagLib::ASF::AttributeList() : it->second;
    }
    QString attribute(const char* key) const
    {
        const TagLib::ASF::AttributeList l = list(key);
        if (l.isEmpty())
            return {};
        const TagLib::ASF::Attribute& a = l.front();
        switch (a.type()) {
        case TagLib::ASF::Attribute::UnicodeType: return qs(a.toString());
        case TagLib::ASF::Attribute::DWordType: return QString::number(a.toUInt());
        case TagLib::ASF::Attribute::QWordType: return QString::number(a.toULongLong());
        case TagLib::ASF::Attribute::WordType: return QString::number(a.toUShort());
        default: return {};
        }
    }
    void put(const char* key, const QString& value)
    {
        if (value.isEmpty())
            m_t->removeItem(key);
        else
            m_t->setAttribute(key, TagLib::ASF::Attribute(ts(value)));
    }

    TagLib::ASF::Tag* m_t;
};

// APEv2 items (APE, WavPack, Musepack). The cover item holds a file name, a zero byte, the image.
class ApeStore final : public Store {
public:
    explicit ApeStore(TagLib::APE::Tag* t) : m_t(t) {}

    QString text(TextField f) const override { return item(kKeys[f]); }
    void setText(TextField f, const QString& value) override
    {
        if (value.isEmpty())
            m_t->removeItem(kKeys[f]);
        else
            m_t->addValue(kKeys[f], ts(value), true);
    }
    void pair(bool disc, int* number, int* total) const override
    {
        ParseNumberPair(item(disc ? "Disc" : "Track"), number, total);
    }
    void setPair(bool disc, int number, int total) override
    {
        const char* key = disc ? "Disc" : "Track";
        const QString v = NumberPairText(number, total);
        if (v.isEmpty())
            m_t->removeItem(key);
        else
            m_t->addValue(key, ts(v), true);
    }
    FrontCover cover() const override
    {
        const auto& map = m_t->itemListMap();
        const auto it = map.find(String(kCover).upper());
        if (it == map.end() || it->second.type() != TagLib::APE::Item::Binary)
            return {};
        const QByteArray data = qb(it->second.binaryData());
        const qsizetype zero = data.indexOf('\0');
        const QByteArray image = zero < 0 ? data : data.mid(zero + 1);
        return {image, ImageMime(image)};
    }
    void setCover(const FrontCover& cover) override
    {
        m_t->removeItem(kCover);
        if (cover.isEmpty())
            return;
        const QString mime = cover.mime.isEmpty() ? ImageMime(cover.bytes) : cover.mime;
        const QByteArray name = mime == QLatin1String("image/png") ? "cover.png" : "cover.jpg";
        m_t->setItem(kCover, TagLib::APE::Item(kCover, tb(name + '\0' + cover.bytes), true));
    }

private:
    static constexpr const char* kKeys[kTextFields] = {"Title", "Artist", "Album", "Year",
                                                       "Comment", "Genre", "Album Artist"};
    static constexpr const char* kCover = "Cover Art (Front)";
    QString item(const char* key) const
    {
        const auto& map = m_t->itemListMap();
        const auto it = map.find(String(key).upper());
        if (it == map.end() || it->second.type() != TagLib::APE::Item::Text || it->second.values().isEmpty())
            return {};
        return qs(it->second.values().front());
    }

    TagLib::APE::Tag* m_t;
};

// The ID3v2 chunk of AIFF and WAV, saved as ID3v2.3. The main comment is the COMM frame with
// an empty description.
class Id3Store final : public Store {
public:
    // info: a WAV file's RIFF INFO tag, read where the ID3v2 chunk lacks a field.
    explicit Id3Store(TagLib::ID3v2::Tag* t, TagLib::Tag* info = nullptr) : m_t(t), m_info(info) {}

    QString text(TextField f) const override
    {
        const QString own = ownText(f);
        if (!own.isEmpty() || !m_info)
            return own;
        switch (f) {
        case kTitle: return qs(m_info->title());
        case kArtist: return qs(m_info->artist());
        case kAlbum: return qs(m_info->album());
        case kYear: return m_info->year() ? QString::number(m_info->year()) : QString();
        case kComment: return qs(m_info->comment());
        case kGenre: return qs(m_info->genre());
        default: return {};
        }
    }
    QString ownText(TextField f) const
    {
        if (f == kComment) {
            const TagLib::ID3v2::FrameList& l = frames("COMM");
            for (TagLib::ID3v2::Frame* fr : l)
                if (auto* c = dynamic_cast<TagLib::ID3v2::CommentsFrame*>(fr); c && c->description().isEmpty())
                    return qs(c->text());
            return l.isEmpty() ? QString() : qs(l.front()->toString());
        }
        return frameText(kIds[f]);
    }
    void setText(TextField f, const QString& value) override
    {
        if (f != kComment) {
            putText(kIds[f], value);
            return;
        }
        const TagLib::ID3v2::FrameList l = frames("COMM");
        for (TagLib::ID3v2::Frame* fr : l)
            if (auto* c = dynamic_cast<TagLib::ID3v2::CommentsFrame*>(fr); c && c->description().isEmpty())
                m_t->removeFrame(fr, true);
        if (value.isEmpty())
            return;
        auto* c = new TagLib::ID3v2::CommentsFrame(encodingFor(value));
        c->setLanguage("eng");
        c->setText(ts(value));
        m_t->addFrame(c);
    }
    void pair(bool disc, int* number, int* total) const override
    {
        ParseNumberPair(frameText(disc ? "TPOS" : "TRCK"), number, total);
        if (!disc && *number == 0 && m_info)
            *number = static_cast<int>(m_info->track());
    }
    void setPair(bool disc, int number, int total) override
    {
        putText(disc ? "TPOS" : "TRCK", NumberPairText(number, total));
    }
    FrontCover cover() const override
    {
        for (TagLib::ID3v2::Frame* fr : frames("APIC"))
            if (auto* p = dynamic_cast<TagLib::ID3v2::AttachedPictureFrame*>(fr);
                p && p->type() == TagLib::ID3v2::AttachedPictureFrame::FrontCover)
                return {qb(p->picture()), qs(p->mimeType())};
        return {};
    }
    void setCover(const FrontCover& cover) override
    {
        const TagLib::ID3v2::FrameList l = frames("APIC");
        for (TagLib::ID3v2::Frame* fr : l)
            if (auto* p = dynamic_cast<TagLib::ID3v2::AttachedPictureFrame*>(fr);
                p && p->type() == TagLib::ID3v2::AttachedPictureFrame::FrontCover)
                m_t->removeFrame(fr, true);
        if (cover.isEmpty())
            return;
        auto* p = new TagLib::ID3v2::AttachedPictureFrame;
        p->setTextEncoding(String::Latin1);
        p->setType(TagLib::ID3v2::AttachedPictureFrame::FrontCover);
        p->setMimeType(ts(cover.mime.isEmpty() ? ImageMime(cover.bytes) : cover.mime));
        p->setPicture(tb(cover.bytes));
        m_t->addFrame(p);
    }

private:
    // TagLib holds the year as TDRC and writes it as TYER in a v2.3 tag.
    static constexpr const char* kIds[kTextFields] = {"TIT2", "TPE1", "TALB", "TDRC", "COMM", "TCON", "TPE2"};
    const TagLib::ID3v2::FrameList& frames(const char* id) const { return m_t->frameListMap()[id]; }
    QString frameText(const char* id) const
    {
        const TagLib::ID3v2::FrameList& l = frames(id);
        return l.isEmpty() ? QString() : qs(l.front()->toString());
    }
    static String::Type encodingFor(const QString& value)
    {
        for (const QChar c : value)
            if (c.unicode() > 0xFF)
                return String::UTF16;
        return String::Latin1;
    }
    void putText(const char* id, const QString& value)
    {
        m_t->removeFrames(id);
        if (value.isEmpty())
            return;
        auto* fr = new TagLib::ID3v2::TextIdentificationFrame(id, encodingFor(value));
        fr->setText(ts(value));
        m_t->addFrame(fr);
    }

    TagLib::ID3v2::Tag* m_t;
    TagLib::Tag* m_info;
};

constexpr auto kFast = TagLib::AudioProperties::Fast;

// TagLib's complaints about damaged files would reach the user's terminal; Tunora says in its
// own words what it could not read.
class Quiet final : public TagLib::DebugListener {
public:
    void printMessage(const String&) override {}
};

void silenceTaglib()
{
    static Quiet quiet;
    static const bool once = (TagLib::setDebugListener(&quiet), true);
    (void)once;
}

// The ASF objects in [at, end) of the stream: each fits where it stands, and those that list
// attributes (content descriptors, metadata, the metadata library) have room for as many as
// they count. Otherwise TagLib would read thousands of attributes out of nothing.
bool asfObjectsFit(TagLib::IOStream* s, long long at, long long end, unsigned int objects, bool nested)
{
    static const QByteArray kExtension = QByteArray::fromHex("b503bf5f2ea9cf118ee300c00c205365");
    static const QByteArray kDescriptors = QByteArray::fromHex("40a4d0d207e3d21197f000a0c95ea850");
    static const QByteArray kMetadata = QByteArray::fromHex("eacbf8c5af5b77488467aa8c44fa4cca");
    static const QByteArray kLibrary = QByteArray::fromHex("941c23449894d149a1411d134e457054");
    for (unsigned int i = 0; nested ? at < end : i < objects; ++i) {
        if (at + 24 > end)
            return false;
        s->seek(static_cast<long>(at));
        const ByteVector h = s->readBlock(46);
        if (h.size() < 24)
            return false;
        const long long size = h.toLongLong(16, false);
        if (size < 24 || size > end - at)
            return false;
        const QByteArray guid = qb(h.mid(0, 16));
        const long long smallestRecord = guid == kDescriptors ? 6 : guid == kMetadata || guid == kLibrary ? 12 : 0;
        if (smallestRecord > 0 && (size < 26 || h.size() < 26 || h.toUShort(24, false) * smallestRecord > size - 26))
            return false;
        if (guid == kExtension && !nested) {
            if (size < 46 || h.size() < 46 || h.toUInt(42, false) > size - 46 ||
                !asfObjectsFit(s, at + 46, at + 46 + h.toUInt(42, false), 0, true))
                return false;
        }
        at += size;
    }
    return true;
}

bool asfHeaderFits(TagLib::IOStream* s)
{
    s->seek(0);
    const ByteVector h = s->readBlock(30);
    const long long fileSize = s->length();
    const bool fits = h.size() == 30 && h.toLongLong(16, false) >= 30 && h.toLongLong(16, false) <= fileSize &&
                      asfObjectsFit(s, 30, h.toLongLong(16, false), h.toUInt(24, false), false);
    s->seek(0);
    return fits;
}

std::unique_ptr<TagLib::File> openFile(AudioFormat format, TagLib::IOStream* s, bool properties)
{
    silenceTaglib();
    if (format == AudioFormat::Wma && !asfHeaderFits(s))
        return nullptr;
    switch (format) {
    case AudioFormat::Flac:
        return std::make_unique<TagLib::FLAC::File>(s, TagLib::ID3v2::FrameFactory::instance(), properties, kFast);
    case AudioFormat::OggVorbis: return std::make_unique<TagLib::Ogg::Vorbis::File>(s, properties, kFast);
    case AudioFormat::Opus: return std::make_unique<TagLib::Ogg::Opus::File>(s, properties, kFast);
    case AudioFormat::Mp4: return std::make_unique<TagLib::MP4::File>(s, properties, kFast);
    case AudioFormat::Wma: return std::make_unique<TagLib::ASF::File>(s, properties, kFast);
    case AudioFormat::Ape: return std::make_unique<TagLib::APE::File>(s, properties, kFast);
    case AudioFormat::WavPack: return std::make_unique<TagLib::WavPack::File>(s, properties, kFast);
    case AudioFormat::Musepack: return std::make_unique<TagLib::MPC::File>(s, properties, kFast);
    case AudioFormat::Aiff: return std::make_unique<TagLib::RIFF::AIFF::File>(s, properties, kFast);
    case AudioFormat::Wav: return std::make_unique<TagLib::RIFF::WAV::File>(s, properties, kFast);
    default: return nullptr;
    }
}

// The store of the format's own tag, made when the file has none yet.
std::unique_ptr<Store> storeOf(AudioFormat format, TagLib::File* f)
{
    switch (format) {
    case AudioFormat::Flac: {
        auto* flac = static_cast<TagLib::FLAC::File*>(f);
        return std::make_unique<XiphStore>(flac->xiphComment(true), flac);
    }
    case AudioFormat::OggVorbis:
        return std::make_unique<XiphStore>(static_cast<TagLib::Ogg::Vorbis::File*>(f)->tag(), nullptr);
    case AudioFormat::Opus:
        return std::make_unique<XiphStore>(static_cast<TagLib::Ogg::Opus::File*>(f)->tag(), nullptr);
    case AudioFormat::Mp4: return std::make_unique<Mp4Store>(static_cast<TagLib::MP4::File*>(f)->tag());
    case AudioFormat::Wma: return std::make_unique<AsfStore>(static_cast<TagLib::ASF::File*>(f)->tag());
    case AudioFormat::Ape: return std::make_unique<ApeStore>(static_cast<TagLib::APE::File*>(f)->APETag(true));
    case AudioFormat::WavPack:
        return std::make_unique<ApeStore>(static_cast<TagLib::WavPack::File*>(f)->APETag(true));
    case AudioFormat::Musepack: return std::make_unique<ApeStore>(static_cast<TagLib::MPC::File*>(f)->APETag(true));
    case AudioFormat::Aiff: return std::make_unique<Id3Store>(static_cast<TagLib::RIFF::AIFF::File*>(f)->tag());
    case AudioFormat::Wav: {
        auto* wav = static_cast<TagLib::RIFF::WAV::File*>(f);
        return std::make_unique<Id3Store>(wav->ID3v2Tag(), wav->InfoTag());
    }
    default: return nullptr;
    }
}

bool fail(QString* why, const QString& reason)
{
    if (why)
        *why = reason;
    return false;
}

QString notValid(AudioFormat format)
{
    return QStringLiteral("not a readable %1 file").arg(FormatInfo(format).name);
}

bool readOpen(TagLib::File* f, AudioFormat format, FileTags* out, QString* why)
{
    if (!f || !f->isValid())
        return fail(why, notValid(format));
    const std::unique_ptr<Store> s = storeOf(format, f);
    if (!s)
        return fail(why, notValid(format));
    FileTags t;
    t.format = format;
    // A damaged header can make TagLib's playing time negative: not known, then.
    if (const TagLib::AudioProperties* p = f->audioProperties(); p && p->lengthInMilliseconds() >= 0)
        t.lengthMs = p->lengthInMilliseconds();
    for (int i = 0; i < kTextFields; ++i)
        *textOf(t.fields, TextField(i)) = s->text(TextField(i));
    s->pair(false, &t.fields.track, &t.fields.trackTotal);
    s->pair(true, &t.fields.disc, &t.fields.discTotal);
    t.fields.cover = s->cover();
    if (!t.fields.cover.isEmpty() && t.fields.cover.mime.isEmpty())
        t.fields.cover.mime = ImageMime(t.fields.cover.bytes); // the file names none: the image's bytes do
    *out = t;
    return true;
}

} // namespace

bool ReadTaglibFile(const QString& path, AudioFormat format, FileTags* out, QString* why)
{
    TagLib::FileStream stream(dorvane::io::EncodeName(path).constData(), true);
    if (!stream.isOpen())
        return fail(why, QStringLiteral("cannot be opened"));
    const std::unique_ptr<TagLib::File> f = openFile(format, &stream, true);
    return readOpen(f.get(), format, out, why);
}

bool ReadTaglibLength(const QString& path, AudioFormat format, qint64* ms, QString* why)
{
    FileTags t;
    if (!ReadTaglibFile(path, format, &t, why))
        return false;
    if (t.lengthMs <= 0)
        return fail(why, QStringLiteral("its playing time cannot be told"));
    *ms = t.lengthMs;
    return true;
}

bool ReadTaglibBytes(const QByteArray& bytes, AudioFormat format, FileTags* out, QString* why)
{
    TagLib::ByteVectorStream stream(tb(bytes));
    const std::unique_ptr<TagLib::File> f = openFile(format, &stream, true);
    return readOpen(f.get(), format, out, why);
}

bool WriteTaglibBytes(const QByteArray& before, AudioFormat format, const TagFields& values, Fields fields,
                      QByteArray* after, QString* why)
{
    TagLib::ByteVectorStream stream(tb(before));
    const std::unique_ptr<TagLib::File> f = openFile(format, &stream, false);
    if (!f || !f->isValid())
        return fail(why, notValid(format));
    const std::unique_ptr<Store> s = storeOf(format, f.get());
    if (!s)
        return fail(why, notValid(format));
    TagFields v = values;
    for (int i = 0; i < kTextFields; ++i)
        if (fields.testFlag(fieldOf(TextField(i))))
            s->setText(TextField(i), *textOf(v, TextField(i)));
    if (fields.testFlag(Field::Track))
        s->setPair(false, values.track, values.trackTotal);
    if (fields.testFlag(Field::Disc))
        s->setPair(true, values.disc, values.discTotal);
    if (fields.testFlag(Field::Cover))
        s->setCover(values.cover);

    bool saved;
    if (format == AudioFormat::Wav)
        saved = static_cast<TagLib::RIFF::WAV::File*>(f.get())->save(TagLib::RIFF::WAV::File::ID3v2,
                                                                      TagLib::File::StripNone, TagLib::ID3v2::v3);
    else if (format == AudioFormat::Aiff)
        saved = static_cast<TagLib::RIFF::AIFF::File*>(f.get())->save(TagLib::ID3v2::v3);
    else
        saved = f->save();
    if (!saved)
        return fail(why, QStringLiteral("the new tags cannot be written into the %1 file").arg(FormatInfo(format).name));
    *after = qb(*stream.data());
    return true;
}

} // namespace tunora::tags::detail
