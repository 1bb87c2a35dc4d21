#pragma once
// A local file that `save` or `get` writes. The bytes go into a temporary file beside the
// target, which takes the target's place only when the command has succeeded, so a board
// that stops answering or refuses never empties or half-writes a file the operator had.
// What an unfinished command received can be kept beside the target as TARGET.partial.

#include <QString>
#include <QTemporaryFile>

#include <memory>
#include <string>
#include <string_view>

namespace vantor::cli {

class LocalFile {
public:
    explicit LocalFile(QString target) : target_(std::move(target)) {}

    const QString& target() const { return target_; }
    QString errorString() const { return error_; }
    qint64 size() const { return size_; }
    // Whether there was a file to replace when open() was called.
    bool targetExisted() const { return existed_; }

    // Creates the temporary file; false, with errorString(), when the target cannot be
    // written (a folder, a read-only file, a folder that does not exist or refuses).
    bool open();
    bool write(std::string_view bytes);
    // Empties what was written, for a capture that starts again.
    bool restart();
    // Puts the written bytes in the target's place.
    bool commit();
    // Gives up; the target stays as it was. With `keep`, what was written (if anything)
    // is kept as TARGET.partial, whose path comes back; otherwise nothing comes back.
    QString abandon(bool keep);

private:
    // Closes the temporary file and puts it at `path`.
    bool settle(const QString& path, QString& error);

    QString target_;
    QString error_;
    qint64 size_ = 0;
    bool existed_ = false;
    std::unique_ptr<QTemporaryFile> temp_;
};

} // namespace vantor::cli
