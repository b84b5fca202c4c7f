// The compact set of remote paths the walk asks "is it there?": exact, letter case and "//"
// ignored as the walk has always compared, whatever folder a name was listed in.
#include <gtest/gtest.h>

#include "QtPrint.h"
#include "RemoteListing.h"

namespace {

struct Lookup {
    const char* path;
    bool known;
};

TEST(RemoteListing, KnowsExactlyWhatWasListedLetterCaseAside) {
    RemoteListing listing;
    for (const char* path : {"/www", "/www/Index.HTML", "/www/Sub", "/www/Sub/ファイル.txt",
                             "/www//double/a", "/www/trail/", "/www/ß"})
        listing.Add(QString::fromUtf8(path));
    listing.Add(QStringLiteral("/www/nul") + QChar() + QStringLiteral("name"));
    const Lookup lookups[] = {
        {"/www/index.html", true},
        {"/WWW/INDEX.HTML", true},
        {"/www/sub/ファイル.TXT", true},
        {"/www/SUB", true},
        {"/www/double/a", true},
        {"/www//double//a/", true},
        {"/www/trail", true},
        {"/www", true},
        {"/www/index.htm", false},
        {"/www/Index.HTML/x", false},
        {"/www/sub/ファイル", false},
        {"/www/Sub/Index.HTML", false},
        {"/www/a", false},
        {"/ww", false},
        {"/www/nul", false},
        {"/", false},
        {"", false},
    };
    for (const Lookup& lookup : lookups)
        EXPECT_EQ(listing.Contains(QString::fromUtf8(lookup.path)), lookup.known) << lookup.path;

    // Folder by folder as they came, each name as written.
    EXPECT_EQ(listing.Paths(), QStringList({"/www", "/www/Index.HTML", "/www/Sub", "/www/trail",
                                            "/www/ß", "/www/Sub/ファイル.txt", "/www/double/a"}));
    EXPECT_EQ(listing.Size(), 7);

    listing.Remove(QStringLiteral("/WWW/sub"));
    EXPECT_FALSE(listing.Contains(QStringLiteral("/www/Sub")));
    EXPECT_TRUE(listing.Contains(QStringLiteral("/www/sub/ファイル.txt")));
    EXPECT_FALSE(listing.IsComplete(QStringLiteral("/www/sub")));
    listing.MarkComplete(QStringLiteral("/www/Sub/"));
    listing.MarkComplete(QStringLiteral("/www/made"));
    EXPECT_TRUE(listing.IsComplete(QStringLiteral("/WWW//sub")));
    EXPECT_TRUE(listing.IsComplete(QStringLiteral("/www/made")));
    EXPECT_FALSE(listing.Contains(QStringLiteral("/www/made")));  // known whole, not known to be
}

// A name per entry and one record per folder: what the limits count grows by little more than
// the names, and a merged listing answers as its parts did.
TEST(RemoteListing, HoldsLittleMoreThanTheNamesAndMergesWhole) {
    RemoteListing listing;
    RemoteListing other;
    for (int folder = 0; folder < 100; ++folder) {
        for (int file = 0; file < 100; ++file)
            (folder % 2 ? other : listing)
                .Add(QStringLiteral("/base/dir%1/file%2.dat").arg(folder).arg(file));
    }
    listing.Merge(other);
    EXPECT_EQ(listing.Size(), 10'000);
    EXPECT_LT(listing.MemoryBytes() / listing.Size(), 48);
    EXPECT_TRUE(listing.Contains(QStringLiteral("/base/DIR99/FILE99.dat")));
    EXPECT_FALSE(listing.Contains(QStringLiteral("/base/dir99/file100.dat")));
}

}  // namespace
