#pragma once

#include <QString>

#include <optional>

// The fixed part of a version resource (VS_FIXEDFILEINFO) as Windows tools show it.
struct FixedFileInfo {
    quint32 fileVersionMS = 0;
    quint32 fileVersionLS = 0;
    quint32 productVersionMS = 0;
    quint32 productVersionLS = 0;
    quint32 fileFlags = 0;
    quint32 fileOS = 0;
    quint32 fileType = 0;
    quint32 fileSubtype = 0;
};

namespace PeVersionInfo {
// Reads the version resource of a Windows PE file (EXE, DLL; 32- or 64-bit): the resource of
// type 16, its first name and first language. Every offset is checked against the file's size
// and the resource tree is walked exactly three levels deep, so a damaged or hostile file costs
// a handful of small reads and yields nothing. Nothing, too, for any file that is not PE.
std::optional<FixedFileInfo> Read(const QString& path);
}  // namespace PeVersionInfo
