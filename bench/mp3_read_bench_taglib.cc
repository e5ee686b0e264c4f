// The TagLib side of mp3_read_bench and compare_bench: reads every file given (any type TagLib
// knows), tags and accurate audio properties.
// Built by the bench scripts, outside the project's own targets.
#include <taglib/fileref.h>
#include <taglib/tag.h>
#include <cstdio>

int main(int argc, char** argv)
{
    long long total = 0;
    for (int i = 1; i < argc; ++i) {
        TagLib::FileRef f(argv[i], true, TagLib::AudioProperties::Accurate);
        if (f.isNull())
            return 1;
        total += f.tag()->title().size() + f.audioProperties()->lengthInMilliseconds();
    }
    std::printf("%lld\n", total);
    return 0;
}
