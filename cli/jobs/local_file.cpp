#include "jobs/local_file.h"

#include <QFileInfo>

#include <filesystem>
#include <system_error>

namespace vantor::cli {

namespace {

std::filesystem::path fsPath(const QString& path) {
    return std::filesystem::path(path.toStdU16String());
}

// Renames over an existing file, which QFile::rename refuses to do.
bool replace(const QString& from, const QString& to, QString& error) {
    std::error_code code;
    std::filesystem::rename(fsPath(from), fsPath(to), code);
    if (code)
        error = QString::fromStdString(code.message());
    return !code;
}

} // namespace

bool LocalFile::open() {
    const QFileInfo info(target_);
    existed_ = info.exists();
    if (info.isDir()) {
        error_ = QStringLiteral("a folder");
        return false;
    }
    if (info.exists() && !info.isWritable()) {
        error_ = QStringLiteral("the file is read-only");
        return false;
    }
    temp_ = std::make_unique<QTemporaryFile>(info.absoluteFilePath() + QStringLiteral(".XXXXXX"));
    if (!temp_->open()) {
        error_ = temp_->errorString();
        temp_.reset();
        return false;
    }
    size_ = 0;
    return true;
}

bool LocalFile::write(std::string_view bytes) {
    if (bytes.empty())
        return true;
    const auto n = qint64(bytes.size());
    // Buffered: the temporary file is only ever taken whole, once it is flushed and closed.
    if (temp_->write(bytes.data(), n) != n) {
        error_ = temp_->errorString();
        return false;
    }
    size_ += n;
    return true;
}

bool LocalFile::restart() {
    size_ = 0;
    if (temp_->resize(0) && temp_->seek(0))
        return true;
    error_ = temp_->errorString();
    return false;
}

bool LocalFile::commit() {
    if (!settle(target_, error_))
        return false;
    temp_.reset();
    return true;
}

QString LocalFile::abandon(bool keep) {
    if (!temp_)
        return {};
    QString kept;
    QString ignored;
    if (keep && size_ > 0 && settle(target_ + QStringLiteral(".partial"), ignored))
        kept = target_ + QStringLiteral(".partial");
    temp_.reset();
    return kept;
}

bool LocalFile::settle(const QString& path, QString& error) {
    // The permissions of the file it replaces, or the usual ones of a new file rather
    // than the temporary file's owner-only ones.
    const QFileDevice::Permissions permissions =
        QFileInfo::exists(path)
            ? QFile::permissions(path)
            : QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadUser |
                  QFileDevice::WriteUser | QFileDevice::ReadGroup | QFileDevice::ReadOther;
    if (!temp_->flush()) {
        error = temp_->errorString();
        return false;
    }
    temp_->close();
    temp_->setPermissions(permissions);
    if (!replace(temp_->fileName(), path, error))
        return false;
    temp_->setAutoRemove(false);
    return true;
}

} // namespace vantor::cli
