#include "UploadSource.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <vector>

#include "RegularFile.h"

namespace {

const QString kChanged = QStringLiteral("the file changed while it was sent");

// ReadToEnd's reads: big enough for disk speed, small enough to stay off mmap for small files.
constexpr qint64 kMinChunk = 4 * 1024;
constexpr qint64 kMaxChunk = 256 * 1024;

bool SameTime(const struct timespec& a, const struct timespec& b) {
    return a.tv_sec == b.tv_sec && a.tv_nsec == b.tv_nsec;
}

}  // namespace

UploadSource::~UploadSource() {
    Close();
}

bool UploadSource::Open(const QString& path) {
    Close();
    read_ = 0;
    changed_ = false;
    error_.clear();
    digest_.Reset();
    digestHex_.clear();
    fd_ = RegularFile::OpenForReading(path, &opened_, &error_);
    return fd_ >= 0;
}

qint64 UploadSource::Read(char* data, qint64 size) {
    if (fd_ < 0)
        return -1;
    ssize_t got;
    do {
        got = ::read(fd_, data, static_cast<size_t>(size));
    } while (got < 0 && errno == EINTR);
    if (got < 0) {
        error_ = RegularFile::ErrnoText(errno);
        return -1;
    }
    read_ += got;
    if (read_ > opened_.st_size) {
        changed_ = true;
        error_ = kChanged;
        return -1;
    }
    digest_.Add(data, got);
    return got;
}

bool UploadSource::Unchanged() {
    struct stat now {};
    if (fd_ < 0)
        return false;
    if (::fstat(fd_, &now) != 0) {
        error_ = RegularFile::ErrnoText(errno);
        return false;
    }
    changed_ = now.st_size != opened_.st_size || read_ != opened_.st_size ||
               !SameTime(now.st_mtim, opened_.st_mtim) || !SameTime(now.st_ctim, opened_.st_ctim);
    if (changed_)
        error_ = kChanged;
    else if (digestHex_.isEmpty())
        digestHex_ = digest_.Hex();
    return !changed_;
}

bool UploadSource::ReadToEnd() {
    // One more byte than the file holds shows a file that grew.
    std::vector<char> chunk(
        static_cast<size_t>(std::clamp<qint64>(opened_.st_size + 1, kMinChunk, kMaxChunk)));
    qint64 got;
    while ((got = Read(chunk.data(), static_cast<qint64>(chunk.size()))) > 0) {
    }
    return got == 0 && Unchanged();
}

void UploadSource::Close() {
    if (fd_ >= 0)
        ::close(fd_);
    fd_ = -1;
}
