#include <gtest/gtest.h>

#include "CodePage.h"

namespace {

struct CodePageGuard {
    ~CodePageGuard() { CodePage::SetOverride(QString()); }
};

TEST(CodePage, Cp932CarriesByte5CInSo) {
    CodePageGuard guard;
    ASSERT_TRUE(CodePage::SetOverride(QStringLiteral("CP932")));
    // ソ is 0x83 0x5C in Shift_JIS: the second byte is a backslash on the wire.
    const QByteArray bytes = CodePage::FromUnicode(QStringLiteral("ソース"));
    EXPECT_EQ(bytes, QByteArray("\x83\x5C\x81\x5B\x83\x58"));
    EXPECT_EQ(CodePage::ToUnicode(bytes), QStringLiteral("ソース"));
}

TEST(CodePage, UnknownOverrideKeepsCurrentAndEmptyRestoresLocale) {
    CodePageGuard guard;
    const QString locale = CodePage::Name();
    EXPECT_FALSE(CodePage::SetOverride(QStringLiteral("NO-SUCH-CHARSET")));
    EXPECT_EQ(CodePage::Name(), locale);
    ASSERT_TRUE(CodePage::SetOverride(QStringLiteral("CP932")));
    ASSERT_TRUE(CodePage::SetOverride(QString()));
    EXPECT_EQ(CodePage::Name(), locale);
}

TEST(CodePage, UnmappableTextNeverVanishes) {
    CodePageGuard guard;
    ASSERT_TRUE(CodePage::SetOverride(QStringLiteral("CP932")));
    // An emoji has no Shift_JIS form: it is replaced, the rest survives.
    EXPECT_EQ(CodePage::FromUnicode(QStringLiteral("a\U0001F600b")), QByteArray("a?b"));
    // A lone lead byte at the end decodes to a replacement character, not to nothing.
    EXPECT_EQ(CodePage::ToUnicode(QByteArray("ab\x83")), QStringLiteral("ab\uFFFD"));
}

// Every spelling of UTF-8 holds any text but a lone surrogate half; a narrower code page does not.
TEST(CodePage, HoldsWhatComesBackUnchanged) {
    CodePageGuard guard;
    const QString lone = QStringLiteral("a") + QChar(0xD800) + QStringLiteral("b");
    for (const char* name : {"UTF-8", "utf-8", "UTF8"}) {
        ASSERT_TRUE(CodePage::SetOverride(QString::fromLatin1(name)));
        EXPECT_TRUE(CodePage::Holds(QStringLiteral("ソース \U0001F600")));
        EXPECT_FALSE(CodePage::Holds(lone)) << name;
    }
    ASSERT_TRUE(CodePage::SetOverride(QStringLiteral("CP932")));
    EXPECT_TRUE(CodePage::Holds(QStringLiteral("ソース")));
    EXPECT_FALSE(CodePage::Holds(QStringLiteral("a\U0001F600")));
}

}  // namespace
