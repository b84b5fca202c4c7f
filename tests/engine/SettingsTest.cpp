#include <gtest/gtest.h>

#include "API_IniFileAccess.h"
#include "Settings.h"

namespace {

// A wait's time limit is turned into milliseconds: whatever the file says, it stays a sane,
// positive number of seconds.
TEST(Settings, ReplyTimeoutSecStaysWithinASaneRange) {
    const struct {
        const char* text;
        int seconds;
    } cases[] = {{"", 60},
                 {"abc", 60},
                 {"0", 60},
                 {"-5", 60},
                 {" 30 ", 30},
                 {"86400", 86400},
                 {"86401", 86400},
                 {"2147483", 86400},
                 {"2147483647", 86400},
                 {"99999999999", 86400}};
    for (const auto& c : cases) {
        ASSERT_TRUE(API_IniFileAccess::IniWrite(QStringLiteral("Setting"),
                                                QString::fromLatin1(c.text),
                                                QStringLiteral("ReplyTimeoutSec")));
        EXPECT_EQ(Settings::ReplyTimeoutSec(), c.seconds) << c.text;
    }
}

}  // namespace
