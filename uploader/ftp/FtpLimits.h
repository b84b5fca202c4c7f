#pragma once

#include <QtGlobal>

// What a server can make the client hold or wait for. A server past one of these limits is
// broken or hostile: its connection ends as a protocol error and nothing it sent is used. The
// limits hold for every way a data connection is made, so they live here rather than with one.
namespace FtpLimits {

// One line of a reply or of a listing, without its line end.
constexpr qsizetype kMaxLine = 64 * 1024;

// Reply text received and not yet handled: one whole reply, or replies sent ahead of their turn.
constexpr qsizetype kMaxReply = 1024 * 1024;

// Bytes of one listing as they arrive, lines that make no path included.
constexpr qint64 kMaxListingBytes = 512LL * 1024 * 1024;

// Paths one listing may bring: a tree of 5,000,000 files with its folders. A server that sends
// more is refused, however small its names.
constexpr qsizetype kMaxListingEntries = 6'000'000;

// Memory the paths of one listing may take as they are held (RemoteListing: each folder's path
// once, its names in one arena, 8 bytes of index a name): some 30 to 60 bytes a path of an
// ordinary tree, so 5,000,000 paths fit, and a flood of long names stops here.
constexpr qint64 kMaxListingMemory = 384LL * 1024 * 1024;

// A wait ends as a time limit after this many times ReplyTimeoutSec, even while the server keeps
// trickling bytes: the silence limit alone never sees a server that sends a byte a second.
constexpr int kDeadlineFactor = 5;

// While a file is being sent its deadline starts afresh each time this much more has gone: a slow
// link that moves data never fails, a server that takes a byte now and then still does.
constexpr qint64 kStoreProgress = 64 * 1024;

}  // namespace FtpLimits
