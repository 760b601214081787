// The length peer: TagLib's MPEG playing time (AudioProperties::Fast) of each file named on the
// command line, printed as tunora-cli length prints it. Built for the benchmark only.
#include <taglib/mpegfile.h>

#include <cstdio>

int main(int argc, char** argv)
{
    int status = 0;
    for (int i = 1; i < argc; ++i) {
        TagLib::MPEG::File f(argv[i], true, TagLib::AudioProperties::Fast);
        const TagLib::AudioProperties* p = f.isValid() ? f.audioProperties() : nullptr;
        if (!p) {
            std::fprintf(stderr, "taglib_length: %s: no MPEG audio\n", argv[i]);
            status = 1;
            continue;
        }
        std::printf("%d\t%s\n", p->lengthInMilliseconds(), argv[i]);
    }
    return status;
}
