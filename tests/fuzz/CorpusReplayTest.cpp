// Every seed input of every fuzz target, through the same checks the fuzzers make.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>

#include "FuzzChecks.h"

namespace {

struct Target {
    const char* name;  // its folder under corpus/
    QString (*check)(QByteArrayView);
};

const Target kTargets[] = {
    {"reply_framer", FuzzChecks::ReplyFramer},
    {"listing", FuzzChecks::Listing},
    {"ini", FuzzChecks::Ini},
    {"profile_file", FuzzChecks::ProfileFile},
    {"conv_table", FuzzChecks::ConvTable},
};

class Corpus : public ::testing::TestWithParam<Target> {};

void PrintTo(const Target& target, std::ostream* os) {
    *os << target.name;
}

TEST_P(Corpus, EverySeedPassesTheChecks) {
    const QDir folder(QStringLiteral(SKERROW_FUZZ_CORPUS "/") + GetParam().name);
    const QStringList seeds = folder.entryList(QDir::Files);
    ASSERT_FALSE(seeds.isEmpty()) << folder.path().toStdString();
    for (const QString& seed : seeds) {
        QFile file(folder.filePath(seed));
        ASSERT_TRUE(file.open(QIODevice::ReadOnly)) << seed.toStdString();
        const QString failure = GetParam().check(file.readAll());
        EXPECT_TRUE(failure.isEmpty()) << seed.toStdString() << ": " << failure.toStdString();
    }
}

INSTANTIATE_TEST_SUITE_P(Fuzz, Corpus, ::testing::ValuesIn(kTargets),
                         [](const ::testing::TestParamInfo<Target>& param) {
                             return std::string(param.param.name);
                         });

}  // namespace
