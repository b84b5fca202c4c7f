// Every seed input of one fuzz target (SKERROW_FUZZ_TARGET, its folder under corpus/) through the
// check its fuzzer makes (SKERROW_FUZZ_CHECK), built from the same sources as the fuzzer.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>

#include "FuzzChecks.h"

#define SKERROW_TEXT(x) #x
#define SKERROW_NAME(x) SKERROW_TEXT(x)

namespace {

TEST(FuzzCorpus, SKERROW_FUZZ_TARGET) {
    const QDir folder(QStringLiteral(SKERROW_FUZZ_CORPUS "/" SKERROW_NAME(SKERROW_FUZZ_TARGET)));
    const QStringList seeds = folder.entryList(QDir::Files);
    ASSERT_FALSE(seeds.isEmpty()) << folder.path().toStdString();
    for (const QString& seed : seeds) {
        QFile file(folder.filePath(seed));
        ASSERT_TRUE(file.open(QIODevice::ReadOnly)) << seed.toStdString();
        const QString failure = FuzzChecks::SKERROW_FUZZ_CHECK(file.readAll());
        EXPECT_TRUE(failure.isEmpty()) << seed.toStdString() << ": " << failure.toStdString();
    }
}

}  // namespace
