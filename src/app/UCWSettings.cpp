// SPDX-License-Identifier: GPL-3.0-or-later
// The main window's setups and preferences: loading and saving setup files and
// TAVI.INI.
#include "app/UCW.h"

#include "platform/Controls.h"
#include "platform/Seams.h"
#include "processing/UDataProc.h"
#include "setup/UserFolders.h"

namespace tavi {

bool TFCW::LoadSetup(const std::string& path, std::string* error) {
    std::string cause;
    if (!LoadSetupFile(path, Params, &cause)) {
        if (error)
            *error = cause;
        return false;
    }
    SetCurrentSetup(CurrentSetup, path);
    MSavesetup->setEnabled(CurrentSetup.SaveEnabled);
    return true;
}

bool TFCW::SaveSetup(const std::string& path, std::string* error) {
    CaptureParameters();
    std::string cause;
    if (!SaveSetupFile(path, Params, &cause)) {
        if (error)
            *error = cause;
        return false;
    }
    SetCurrentSetup(CurrentSetup, path);
    MSavesetup->setEnabled(CurrentSetup.SaveEnabled);
    return true;
}

void TFCW::FileErrorToOperator(const QString& what, const std::string& cause) {
    Dialogs().ShowError(this, cause.empty() ? what : what + QStringLiteral(": ") + Q(cause));
}

void TFCW::MOpensetupClick() {
    const QString path = Dialogs().OpenFile(this, QStringLiteral("Select setup file"), Q(SetupDir),
                                            QStringLiteral("setup file (*.cfg)"));
    if (path.isEmpty())
        return;
    std::string cause;
    if (!LoadSetup(path.toStdString(), &cause)) {
        FileErrorToOperator(QStringLiteral("Cannot read setup file %1").arg(path), cause);
        return;
    }
    RefreshCaption();
    ApplyParameters();
}

void TFCW::MSavesetupClick() {
    const std::string path = CurrentSetup.SetupPath;
    if (path.empty() || IsStandardSetup(path))
        return; // the item is disabled for these
    std::string cause;
    if (!SaveSetup(path, &cause))
        FileErrorToOperator(QStringLiteral("Cannot create file %1").arg(Q(path)), cause);
}

void TFCW::MSavesetupasClick() {
    const QString path =
        Dialogs().SaveFile(this, QStringLiteral("Save setup file as ..."), Q(SetupDir),
                           QStringLiteral("setup file (*.cfg)"), QStringLiteral("cfg"));
    if (path.isEmpty())
        return;
    if (IsStandardSetup(path.toStdString())) {
        Dialogs().Message(this, QStringLiteral("STANDARD.CFG can not be changed !"), MsgIcon::Error,
                          MsgButtons::Ok);
        return;
    }
    std::string cause;
    if (!SaveSetup(path.toStdString(), &cause))
        FileErrorToOperator(QStringLiteral("Cannot create file %1").arg(path), cause);
    RefreshCaption();
}

// ---------------------------------------------------------------- preferences

void TFCW::ReadIniSettings() {
    // Beside the executable where that folder is ours; otherwise the user's own
    // folders, so an installed program keeps each operator's preferences.
    IniPlace = ChooseIniLocation(ExeDir, ExecutableDirKeepsIni(ExeDir), CurrentUserFolders());
    IniSettings ini; // empty directories, "COM1", default sounds
    ReadIni(IniPlace, ini);
    SetupDir = ini.SetupDir;
    AcqDir = ini.AcqDir;
    OutDir = ini.OutDir;
    SoundSettings = ini.Sounds;
    LoadSetup(FindStandardSetup(SetupDir, SiteConfigDir(ExeDir), InstalledDataDir(ExeDir)));
    try {
        port_.SetDeviceName(ini.PortName);
    } catch (const std::exception& e) {
        Dialogs().ShowError(this, QString::fromLocal8Bit(e.what()));
    }
    RefreshPortMenu();
}

void TFCW::WriteIniSettings() {
    IniSettings ini;
    ini.SetupDir = SetupDir;
    ini.AcqDir = AcqDir;
    ini.OutDir = DataProc ? DataProc->OutputDirectory().toStdString() : OutDir;
    ini.PortName = port_.DeviceName();
    ini.Sounds = SoundSettings;
    WriteIni(IniPlace, ini); // an unwritable file is skipped
}

} // namespace tavi
