#pragma once

#include <QString>

// Keys of section "Setting" in the settings file that the engine reads.
namespace Settings {
// The key's value, "" when it is missing or empty.
QString Read(const QString& key);
// Key ReplyTimeoutSec: seconds a wait may go without any sign of the server (default 60 when
// missing, not a number or not positive; at most a day).
int ReplyTimeoutSec();
// Key KeepAliveSec: seconds a connection of a run may stay silent before it sends a NOOP, so that
// the server does not close it while the run works locally or waits for others (default 30 when
// missing, not a number or not positive; at most a day).
int KeepAliveSec();
// Key KeepRunLogs: how many earlier pairs of run log and command log a run keeps (default 5 when
// missing or not a number; 0 keeps none; at most 99).
int KeepRunLogs();
// Key FollowLinksOutside: "1" lets the walk follow links that lead outside a profile's local base
// folder; anything else keeps them unfollowed.
bool FollowLinksOutside();
// Key CompareContent: "0" sends a file whose time says it changed without looking at its
// content; anything else (the default) sends it only when its bytes differ from those the
// ledger's digest names.
bool CompareContent();
// Key CodePage: the character set of files and FTP names when it is not the locale's. False when
// the key names a character set that is not known (the locale's stays in force).
bool ApplyCodePage();
}  // namespace Settings
