#pragma once
// Failures of local files, numbered as the operator knows them.

#include "core/failure.h"

#include <QFile>

namespace vantor {

[[noreturn]] inline void failOpen(const QFile& file, bool forReading) {
    const std::string why = file.errorString().toStdString();
    if (forReading && !file.exists())
        throw core::Failure(core::failure::kFileNotFound, "File not found: " + why);
    throw core::Failure(core::failure::kPathFileAccess, "Path/File access error: " + why);
}

[[noreturn]] inline void failWrite(const QFile& file) {
    throw core::Failure(core::failure::kDiskFull, "Disk full: " + file.errorString().toStdString());
}

// Writes all of `bytes` and pushes them to the disk, so a full disk is seen at once.
inline void writeAll(QFile& file, const QByteArray& bytes) {
    if (file.write(bytes) != bytes.size() || !file.flush())
        failWrite(file);
}

} // namespace vantor
