#pragma once

#include <QString>

namespace MountTable {
// The mount point that holds an absolute path: the longest mount point of
// /proc/self/mountinfo that is the path or one of its folders. The path is taken as written
// ("." and ".." folded, links not followed), so it need not exist. "/" when nothing else fits.
QString MountPointOf(const QString& absolutePath);
}  // namespace MountTable
