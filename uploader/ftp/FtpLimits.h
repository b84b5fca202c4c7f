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

// Memory the paths of one listing may take, each counted as kPathOverhead bytes plus two a
// character (what a path in a QStringList costs): about 170,000 paths of 60 characters, well
// above a tree of 100,000 files, and small enough that a flood never makes the process large.
constexpr qint64 kMaxListingMemory = 32LL * 1024 * 1024;
constexpr qint64 kPathOverhead = 72;

// A wait ends as a time limit after this many times ReplyTimeoutSec, even while the server keeps
// trickling bytes: the silence limit alone never sees a server that sends a byte a second.
constexpr int kDeadlineFactor = 5;

// While a file is being sent its deadline starts afresh each time this much more has gone: a slow
// link that moves data never fails, a server that takes a byte now and then still does.
constexpr qint64 kStoreProgress = 64 * 1024;

}  // namespace FtpLimits
