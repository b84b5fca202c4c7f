#include "UploadSource.h"

#include <unistd.h>

#include <cerrno>

#include "RegularFile.h"

namespace {

const QString kChanged = QStringLiteral("the file changed while it was sent");

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
    return !changed_;
}

void UploadSource::Close() {
    if (fd_ >= 0)
        ::close(fd_);
    fd_ = -1;
}
