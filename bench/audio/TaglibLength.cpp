// The length peer: TagLib's playing time (AudioProperties::Fast) of each file named on the
// command line, printed as tunora-cli length prints it. MP3 files go through MPEG::File;
// with --fileref first, every file goes through FileRef (the format from the extension).
// Built for the benchmark only.
#include <taglib/fileref.h>
#include <taglib/mpegfile.h>

#include <cstdio>
#include <cstring>

int main(int argc, char** argv)
{
    int status = 0;
    const bool fileRef = argc > 1 && std::strcmp(argv[1], "--fileref") == 0;
    for (int i = fileRef ? 2 : 1; i < argc; ++i) {
        int ms = -1;
        if (fileRef) {
            TagLib::FileRef f(argv[i], true, TagLib::AudioProperties::Fast);
            if (!f.isNull() && f.audioProperties())
                ms = f.audioProperties()->lengthInMilliseconds();
        } else {
            TagLib::MPEG::File f(argv[i], true, TagLib::AudioProperties::Fast);
            if (f.isValid() && f.audioProperties())
                ms = f.audioProperties()->lengthInMilliseconds();
        }
        if (ms < 0) {
            std::fprintf(stderr, "taglib_length: %s: no audio\n", argv[i]);
            status = 1;
            continue;
        }
        std::printf("%d\t%s\n", ms, argv[i]);
    }
    return status;
}
