// SPDX-License-Identifier: GPL-3.0-or-later
// The checks around a QSaveFile that its commit leaves out.
#include "platform/SavedFile.h"

#include "common/SafeFile.h"

#include <QFile>
#include <cerrno>
#include <cstring>

namespace tavi {

namespace {

// Qt reports a write refused by a size limit or a full disk without a cause
// now and then ("Unknown error"); the system's errno still has it.
QString Cause(const QSaveFile& file, int err) {
    QString text = file.errorString();
    if ((text.isEmpty() || text == QLatin1String("Unknown error")) && err != 0)
        text = QString::fromLocal8Bit(std::strerror(err));
    if (text.isEmpty() || text == QLatin1String("Unknown error"))
        text = QStringLiteral("the file could not be written completely");
    return text;
}

} // namespace

bool OpenSaveFile(QSaveFile& file, QString* why) {
    const std::string reason = NotARegularFileReason(QFile::encodeName(file.fileName()).toStdString());
    if (!reason.empty()) {
        if (why)
            *why = QString::fromStdString(reason);
        return false;
    }
    errno = 0;
    if (file.open(QIODevice::WriteOnly))
        return true;
    if (why)
        *why = Cause(file, errno);
    return false;
}

bool WriteSaveFile(QSaveFile& file, const QByteArray& bytes, QString* why) {
    qint64 done = 0;
    while (done < bytes.size()) {
        errno = 0;
        const qint64 n = file.write(bytes.constData() + done, bytes.size() - done);
        if (n <= 0) {
            if (why)
                *why = Cause(file, errno);
            file.cancelWriting();
            return false;
        }
        done += n;
    }
    return true;
}

bool CommitSaveFile(QSaveFile& file, QString* why) {
    errno = 0;
    if (file.error() != QFileDevice::NoError || !file.flush() ||
        file.error() != QFileDevice::NoError) {
        if (why)
            *why = Cause(file, errno);
        file.cancelWriting();
        return false;
    }
    errno = 0;
    if (!file.commit()) {
        if (why)
            *why = Cause(file, errno);
        return false;
    }
    return true;
}

} // namespace tavi
