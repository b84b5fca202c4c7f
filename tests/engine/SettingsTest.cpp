#include <gtest/gtest.h>

#include <QList>

#include "API_IniFileAccess.h"
#include "Settings.h"

// A wait's time limit becomes milliseconds: whatever the file says, it stays a sane, positive
// number of seconds.
TEST(Settings, ReplyTimeoutSecStaysWithinASaneRange) {
    const QList<QPair<QString, int>> cases = {
        {"", 60},         {"abc", 60},        {"-5", 60},           {" 30 ", 30},
        {"86401", 86400}, {"2147483", 86400}, {"2147483647", 86400}};
    for (const auto& [text, seconds] : cases) {
        ASSERT_TRUE(
            API_IniFileAccess::IniWrite("Setting", text, QStringLiteral("ReplyTimeoutSec")));
        EXPECT_EQ(Settings::ReplyTimeoutSec(), seconds) << text.toStdString();
    }
}
