#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QStringList>

#include "RemoteListing.h"

// Reads one listing as its bytes arrive (lines ended by LF or CR LF) and turns it into full remote
// paths of the listed folder, so a listing is never held whole. A line counts only when it proves
// that it belongs to that folder: nothing outside it, no "." or ".." step, no CR or LF ever makes
// a path. It keeps to FtpLimits: lines of kMaxLine bytes, kMaxListingBytes in all, at most
// kMaxListingEntries paths held in kMaxListingMemory.
class RemoteListParser {
public:
    enum class Form {
        // NLST -aILR of dir: blocks opened by a header "/path:" at or below dir, followed by the
        // names in that folder, bare ("b.txt") or as full paths below it ("/dir/b.txt"). Every
        // such header gives a path (the folder itself) and so does every name under one; names
        // under no header, or under a header outside dir, are dropped.
        Recursive,
        // A name list of dir: bare names, or paths whose folder is dir; only the name counts.
        Names,
        // MLSD of dir: "fact=value;fact=value; name", every type but the folder's own and its
        // parent's entries.
        Machine,
    };

    RemoteListParser(Form form, const QString& dir);

    // Adds received bytes. False once they break a limit; Fault() says which.
    bool Feed(QByteArrayView bytes);
    // The data has ended: reads a last line that has no line end. False after a fault.
    bool Finish();

    // dir + "/" + name for each name (a header's path as written), "." and ".." never.
    const RemoteListing& Entries() const { return m_entries; }
    // Whether a header of the listed folder was met, i.e. whether the listing recursed.
    bool SawHeader() const { return m_sawHeader; }
    QString Fault() const { return m_fault; }

    // Whether a FEAT reply names MLST, which brings MLSD with it.
    static bool FeatOffersMlsd(const QString& featReply);
    // Why a listing of these entries is past the limits, or "" while it is not.
    static QString LimitFault(const RemoteListing& entries);

private:
    bool ReadLines(const QByteArray& block);
    void ReadLine(QStringView line);
    void Add(const QString& path);
    bool Fail(const QString& fault);

    Form m_form;
    QString m_dir;
    QString m_dirKey;   // m_dir as compared: "//" as "/", no "/" at the end, case folded
    QString m_current;  // the folder of the last header that counted (Recursive)
    QString m_currentKey;
    QByteArray m_partial;
    qint64 m_received = 0;
    RemoteListing m_entries;
    bool m_sawHeader = false;
    QString m_fault;
};
