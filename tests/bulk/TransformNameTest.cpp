#include "tests/common/TestSupport.h"
#include "bulk/BulkTransform.h"

#include <gtest/gtest.h>

using namespace tunora;

namespace {

struct Row {
    const char* in;
    const char* out;
};

BulkOptions none() { return {}; }

BulkOptions caseMode(CaseMode m)
{
    BulkOptions o;
    o.case_ = true;
    o.case_mode = m;
    return o;
}

void expectRows(const BulkOptions& o, std::initializer_list<Row> rows)
{
    for (const Row& r : rows)
        EXPECT_EQ(TransformName(QString::fromUtf8(r.in), o), QString::fromUtf8(r.out)) << "input «" << r.in << "»";
}

} // namespace

TEST(TransformName, TrimsSpacesWhateverTheOptions)
{
    expectRows(none(), {
        {" Song.mp3", "Song.mp3"},
        {"Song.mp3   ", "Song.mp3"},
        {"My   Song.mp3", "My   Song.mp3"}, // inner runs need the multi option
        {"\tSong.mp3", "\tSong.mp3"},       // only spaces are trimmed
        {"Song.mp3", "Song.mp3"},
        {"    ", ""},
    });
}

TEST(TransformName, MultipleSpacesCollapse)
{
    BulkOptions o;
    o.multi = true;
    expectRows(o, {
        {"A   B  C.mp3", "A B C.mp3"},
        {"A B C.mp3", "A B C.mp3"},
        {"  A    B.mp3  ", "A B.mp3"},
        {"A\t\tB.mp3", "A\t\tB.mp3"},
    });
}

TEST(TransformName, UpperCaseKeepsTheLastFourCharacters)
{
    expectRows(caseMode(CaseMode::uc), {
        {"My Song.mp3", "MY SONG.mp3"},
        {"My Song.Mp3", "MY SONG.Mp3"},
        {"Track.flac", "TRACK.flac"},
        {"abcd", "abcd"},
        {"abcde", "Abcde"},
        {"abcdef", "ABcdef"},
        {"  abc  ", "abc"},  // shorter than four once trimmed: unchanged
        {"ab", "ab"},
        {"", ""},
        {"1-2 (x).mp3", "1-2 (X).mp3"},
    });
}

TEST(TransformName, LowerCaseKeepsTheLastFourCharacters)
{
    expectRows(caseMode(CaseMode::lc), {
        {"Track.FLAC", "track.FLAC"},
        {"MY SONG.MP3", "my song.MP3"},
        {"ABCD", "ABCD"},
        {"ABCDEF", "abCDEF"},
        {" ABC ", "ABC"},
    });
}

TEST(TransformName, CaseMappingCoversAccentedLetters)
{
    expectRows(caseMode(CaseMode::uc), {
        {"éléphant ça.mp3", "ÉLÉPHANT ÇA.mp3"},
        {"ångström.ogg", "ÅNGSTRÖM.ogg"},
        {"αβγδ.mp3", "ΑΒΓΔ.mp3"},
        {"straße.mp3", "STRAßE.mp3"}, // one character stays one character
    });
    expectRows(caseMode(CaseMode::lc), {
        {"ÉCOLE ÇA ÖL.mp3", "école ça öl.mp3"},
        {"ÀÉÎÕÜ.WAV", "àéîõü.WAV"},
    });
    expectRows(caseMode(CaseMode::fluc), {
        {"ÉCOLE ÇA.MP3", "École Ça.mp3"},
        {"élan vital.MP3", "Élan Vital.mp3"},
        {"über (ärger).mp3", "Über (Ärger).mp3"},
    });
}

TEST(TransformName, CharactersAreCodePointsNotHalves)
{
    // U+10428 and U+10400 are a lower/upper pair outside the basic plane.
    expectRows(caseMode(CaseMode::uc), {
        {"abé\U00010428xy", "ABé\U00010428xy"}, // the letter is one of the last four
        {"ab\U00010428.mp3", "AB\U00010400.mp3"},
    });
    BulkOptions o;
    o.unmerge = true;
    expectRows(o, {{"abc\U00010428Xyz.mp3", "abc\U00010428 Xyz.mp3"}});
}

TEST(TransformName, CapitaliseEachWord)
{
    expectRows(caseMode(CaseMode::fluc), {
        {"the  BEST of (the) BAND.MP3", "The Best Of (The) Band.mp3"},
        {"a b.mp3", "A B.mp3"},
        {"ROCK SONG.MP3", "Rock Song.mp3"},
        {"song [live].mp3", "Song [live].mp3"},
        {"song (LIVE).mp3", "Song (Live).mp3"},
        {"a ( b.mp3", "A ( B.mp3"},
        {"01 - intro.mp3", "01 - Intro.mp3"},
        {"song.mp3", "Song.mp3"},
        {"abcd", "Abcd"},
        {"x", "X"},
    });
}

TEST(TransformName, UnmergeSplitsBeforeCapitalsDigitsAndPunctuation)
{
    BulkOptions o;
    o.unmerge = true;
    expectRows(o, {
        {"AnOdeToNoOne.mp3", "An Ode To No One.mp3"}, // needs the length re-read after each space
        {"Track01.mp3", "Track 01.mp3"},
        {"Best-of.mp3", "Best -of.mp3"},
        {"camelCaseName.mp3", "camel Case Name.mp3"},
        {"helloWORLD.mp3", "hello WORLD.mp3"},
        {"leçonÉté.mp3", "leçon Été.mp3"},
        {"An Ode.mp3", "An Ode.mp3"},
    });
}

TEST(TransformName, UnmergeNeverLooksAtTheLastPairBeforeTheExtension)
{
    BulkOptions o;
    o.unmerge = true;
    expectRows(o, {
        {"SongA.mp3", "SongA.mp3"},
        {"SongAB.mp3", "Song AB.mp3"},
        {"aB.mp3", "aB.mp3"},
        {"aBcdef", "aBcdef"},   // six characters: never changed
        {"aBcdefg", "a Bcdefg"},
        {"aBcD", "aBcD"},
    });
}

TEST(TransformName, MergeUnderscoresAndSpaces)
{
    BulkOptions merge;
    merge.merge = true;
    expectRows(merge, {{"An Ode To No One.mp3", "AnOdeToNoOne.mp3"}, {" a  b ", "ab"}});
    BulkOptions under;
    under.under = true;
    expectRows(under, {{"My_Song_.mp3", "My Song .mp3"}, {"_a_.mp3", " a .mp3"}});
    BulkOptions space;
    space.space = true;
    expectRows(space, {{"my song.mp3", "my_song.mp3"}, {" my  song .mp3 ", "my__song_.mp3"}});
}

TEST(TransformName, StepsRunAsTheCaptionsPromise)
{
    // The folder a new user tries: capitals, un-merge and underscores to spaces at once.
    BulkOptions captions = caseMode(CaseMode::fluc);
    captions.unmerge = true;
    captions.under = true;
    expectRows(captions, {
        {"my_first_song.mp3", "My First Song.mp3"},
        {"second__Song.mp3", "Second Song.mp3"}, // the spaces the steps made collapse
        {"thirdTrackName.mp3", "Third Track Name.mp3"},
    });

    BulkOptions flucSpace = caseMode(CaseMode::fluc);
    flucSpace.space = true;
    expectRows(flucSpace, {{"my song.mp3", "My_Song.mp3"}});

    // Un-merge before case: it splits on the name's own capitals.
    BulkOptions flucUnmerge = caseMode(CaseMode::fluc);
    flucUnmerge.unmerge = true;
    expectRows(flucUnmerge, {{"AnOdeToNoOne.mp3", "An Ode To No One.mp3"}});

    // Underscores before case: each word gets its capital.
    BulkOptions flucUnder = caseMode(CaseMode::fluc);
    flucUnder.under = true;
    expectRows(flucUnder, {{"my_song.mp3", "My Song.mp3"}});

    // Only the runs a step made collapse without the multi option.
    BulkOptions under;
    under.under = true;
    expectRows(under, {{"a__b  c.mp3", "a b  c.mp3"}, {"a_ b.mp3", "a b.mp3"}});
    BulkOptions ucUnder = caseMode(CaseMode::uc);
    ucUnder.under = true;
    ucUnder.multi = true;
    expectRows(ucUnder, {{"a_ b  c.mp3", "A B C.mp3"}});

    // A record the page never builds still follows the order.
    BulkOptions unmergeMerge;
    unmergeMerge.unmerge = true;
    unmergeMerge.merge = true;
    expectRows(unmergeMerge, {{"AnOdeToNoOne.mp3", "AnOdeToNoOne.mp3"}, {"An Ode.mp3", "AnOde.mp3"}});
    BulkOptions underSpace;
    underSpace.under = true;
    underSpace.space = true;
    expectRows(underSpace, {{"a_b c.mp3", "a_b_c.mp3"}});

    BulkOptions all = caseMode(CaseMode::lc);
    all.multi = true;
    all.unmerge = true;
    all.space = true;
    expectRows(all, {{"  THE   Best.MP3 ", "the_best.MP3"}, {"bigBand  Live.mp3", "big_band_live.mp3"}});

    // The case mode counts only with case on.
    BulkOptions caseOff;
    caseOff.case_mode = CaseMode::uc;
    expectRows(caseOff, {{"my song.mp3", "my song.mp3"}});
}
