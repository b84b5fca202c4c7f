#pragma once

#include <QString>

// The few messages and questions of clsFileSystem go through this interface: a window answers
// with message boxes, anything headless with HeadlessFileSystemHost, tests from a script.
class FileSystemHost {
public:
    enum class Icon { None, Exclamation };

    virtual ~FileSystemHost() = default;
    // A message with an OK button. An empty title means the host application's title.
    virtual void ShowMessage(const QString& text, Icon icon, const QString& title) = 0;
    // A Yes/No question; true for Yes.
    virtual bool Confirm(const QString& text, const QString& title) = 0;
};

// For callers without a window: messages go to the warning log, every question is answered No,
// so nothing is ever replaced without someone saying so.
class HeadlessFileSystemHost final : public FileSystemHost {
public:
    void ShowMessage(const QString& text, Icon icon, const QString& title) override;
    bool Confirm(const QString& text, const QString& title) override;
};
