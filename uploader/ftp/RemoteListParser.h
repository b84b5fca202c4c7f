#pragma once

#include <QString>
#include <QStringList>

// Turns listing text (lines ended by LF or CR LF) into full remote paths.
namespace RemoteListParser {

// A recursive listing: blocks opened by a header "/dir:" followed by the names in that directory,
// either bare ("b.txt") or already full paths ("/dir/b.txt"). Every header gives an entry (the
// directory itself) and so does every name under one; names before the first header are dropped,
// and "." and ".." never count, also as the last segment of a full path. *sawHeader tells whether
// any header was met, i.e. whether the listing really was recursive.
QStringList ParseRecursive(const QString& text, bool* sawHeader);

// One directory's names from NLST, bare or as paths (only the last segment counts), joined to
// dir + "/" + name. "." and ".." are dropped.
QStringList ParseNameList(const QString& dir, const QString& text);

// One directory's entries from MLSD ("fact=value;fact=value; name"), every type but the
// directory's own and parent's entries, joined to dir + "/" + name.
QStringList ParseMachineList(const QString& dir, const QString& text);

// Whether a FEAT reply names MLST, which brings MLSD with it.
bool FeatOffersMlsd(const QString& featReply);

}  // namespace RemoteListParser
