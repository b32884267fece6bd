// SPDX-License-Identifier: GPL-3.0-or-later
#include "setup/UserFolders.h"

#include <QDir>
#include <QStandardPaths>

namespace tavi {

UserFolders CurrentUserFolders() {
    UserFolders user;
    user.ConfigDir = UserConfigDir();
    QString documents = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    if (documents.isEmpty() || !QDir(documents).exists())
        documents = QDir::homePath();
    if (!documents.endsWith(QLatin1Char('/')))
        documents += QLatin1Char('/');
    user.DocumentsDir = documents.toStdString();
    return user;
}

} // namespace tavi
