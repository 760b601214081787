// The retag peer: TagLib's MPEG::File::save() with the seven texts set on each file named
// after the first argument (a word the texts carry, so each round changes them). Built for
// the benchmark only.
#include <taglib/id3v2tag.h>
#include <taglib/mpegfile.h>

#include <cstdio>
#include <string>

int main(int argc, char** argv)
{
    if (argc < 3)
        return 2;
    const std::string word = argv[1];
    int status = 0;
    for (int i = 2; i < argc; ++i) {
        TagLib::MPEG::File f(argv[i], false);
        TagLib::Tag* t = f.isValid() ? f.ID3v2Tag(true) : nullptr;
        if (!t) {
            std::fprintf(stderr, "taglib_retag: %s: not an MPEG file\n", argv[i]);
            status = 1;
            continue;
        }
        t->setTitle("Title " + word);
        t->setArtist("Artist " + word);
        t->setAlbum("Album " + word);
        t->setYear(2000 + (argc + i) % 20);
        t->setGenre("Rock");
        t->setTrack(static_cast<unsigned>(i));
        t->setComment("Comment " + word);
        if (!f.save()) {
            std::fprintf(stderr, "taglib_retag: %s: save failed\n", argv[i]);
            status = 1;
        }
    }
    return status;
}
