// The SFTP messages as they cross the channel, and host key fingerprints as users paste them.
#include <gtest/gtest.h>

#include <QList>

#include "HostKeyFingerprint.h"
#include "SftpPacket.h"

namespace {

// A NAME answer with two entries, framed as a server sends it.
QByteArray NameAnswer() {
    QByteArray answer;
    Sftp::Request(&answer, Sftp::FXP_NAME, 7)
        .U32(2)
        .String(QByteArray("dir"))
        .String(QByteArray("drwx"))
        .U32(0x4)
        .U32(040755)
        .String(QByteArray("file"))
        .String(QByteArray("-rw"))
        .U32(0x1)
        .U64(12);
    return answer;
}

TEST(SftpPacket, MessagesComeWholeHoweverTheBytesAreCut) {
    const QByteArray stream = NameAnswer() + NameAnswer();
    for (qsizetype cut = 0; cut <= stream.size(); ++cut) {
        Sftp::Framer framer;
        QList<QByteArray> messages;
        QByteArray message;
        ASSERT_TRUE(framer.Feed(stream.left(cut)));
        while (framer.Next(&message))
            messages << message;
        ASSERT_TRUE(framer.Feed(stream.mid(cut)));
        while (framer.Next(&message))
            messages << message;
        ASSERT_EQ(messages.size(), 2) << cut;
        Sftp::Reader fields(messages[1]);
        EXPECT_EQ(fields.Type(), Sftp::FXP_NAME);
        EXPECT_EQ(fields.U32(), 7u);
        EXPECT_EQ(fields.U32(), 2u);
        EXPECT_EQ(fields.String(), "dir");
        fields.String();
        EXPECT_TRUE(fields.ReadAttributes().IsDirectory());
        EXPECT_EQ(fields.String(), "file");
        fields.String();
        EXPECT_FALSE(fields.ReadAttributes().IsDirectory());
        EXPECT_FALSE(fields.Bad());
    }
}

TEST(SftpPacket, OversizedEmptyAndShortMessagesAreRefused) {
    Sftp::Framer framer;
    EXPECT_FALSE(framer.Feed(QByteArray::fromHex("00100001") + "x"));  // more than 1 MiB
    EXPECT_FALSE(Sftp::Framer().Feed(QByteArray::fromHex("00000000")));
    // A string longer than what is left, and a count of names that the message does not hold.
    const QByteArray shortString = QByteArray::fromHex("68000000070000000100000009") + "abc";
    Sftp::Reader fields(shortString);
    fields.Type();
    fields.U32();
    fields.U32();
    EXPECT_TRUE(fields.String().isEmpty());
    EXPECT_TRUE(fields.Bad());
    EXPECT_EQ(fields.U32(), 0u);
}

TEST(HostKeyFingerprint, TextAndWhatUsersPaste) {
    const QByteArray digest = HostKeyFingerprint::Of("key");
    const QString text = HostKeyFingerprint::Text(digest);
    EXPECT_TRUE(text.startsWith(QStringLiteral("SHA256:")));
    EXPECT_EQ(text.size(), 7 + 43);
    EXPECT_EQ(HostKeyFingerprint::Parse(text), digest);
    EXPECT_EQ(HostKeyFingerprint::Parse("256 " + text + " root@host (ED25519)"), digest);
    EXPECT_EQ(HostKeyFingerprint::Parse(" " + text + "= "), digest);
    for (const QString& bad : {QStringLiteral("SHA256:abc"), text.mid(7),
                               QStringLiteral("MD5:") + text.mid(7), text + QStringLiteral("x")})
        EXPECT_TRUE(HostKeyFingerprint::Parse(bad).isEmpty()) << bad.toStdString();
}

}  // namespace
