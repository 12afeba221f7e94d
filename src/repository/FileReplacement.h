#pragma once

#include <QString>

// A file written under a temporary name beside its target and moved over the target in one
// rename once it is complete, so that a failed or killed writer leaves the target as it was.
// The finished file keeps the replaced file's permissions; a new file gets what the umask allows.
class FileReplacement {
public:
    // Reserves the temporary name; throws AppError when the target's folder cannot take it.
    explicit FileReplacement(const QString &target);
    // Removes the temporary file (with an SQLite journal beside it) unless committed.
    ~FileReplacement();
    FileReplacement(const FileReplacement &) = delete;
    FileReplacement &operator=(const FileReplacement &) = delete;

    QString target() const { return m_target; }
    QString temporaryPath() const { return m_temporary; }

    // Moves the finished temporary file over the target (replace false: only when nothing has
    // taken the target's name meanwhile). Throws AppError on failure; the target is then unchanged.
    void commit(bool replace = true);

private:
    QString m_target;
    QString m_temporary;
    bool m_committed = false;
};
