// SPDX-License-Identifier: GPL-3.0-or-later
// Setup files (one 104-byte record), the standard-setup rule, the current
// setup and the preferences file. File code only: the window side lives in
// the main window and in DirDlgB.
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace tavi {

inline constexpr std::size_t kSetupRecordSize = 104;

// The parameter set as held and stored (little-endian on disk).
struct TSetupRecord {
    std::int32_t DCOffset = 0;
    std::int32_t Gain = 0;
    std::array<std::int32_t, 4> Phase{0, 0, 0, 0};
    std::int32_t Accumulations = 1;
    std::uint8_t FieldSweep = 0;
    std::array<std::uint8_t, 3> Padding1{0, 0, 0};
    std::array<std::int32_t, 4> FieldSweepRange{1, 1, 1, 1};
    std::int32_t FreqSweepRange = 1;
    std::int32_t ModAmp = 0;
    std::int32_t SweepTime = 1;
    std::array<std::int32_t, 4> B0{0, 0, 0, 0};
    std::int32_t B0Step = 0;
    std::array<std::int32_t, 4> Frequency{0, 0, 0, 0};
    std::int32_t FrequencyStep = 0;
    std::uint8_t Mode = 0;
    std::array<std::uint8_t, 3> Padding2{0, 0, 0};

    std::array<std::uint8_t, kSetupRecordSize> ToBytes() const;
    // Up-down positions come back through their low 16 bits, sign-extended
    // (a position is 16-bit); DCOffset, Gain and Phase as full 32-bit values.
    static TSetupRecord FromBytes(std::span<const std::uint8_t, kSetupRecordSize> bytes);
    bool operator==(const TSetupRecord&) const = default;
};

// The built-in defaults (the values before any setup file is read).
TSetupRecord DefaultSetup();

// True when the file-name part of path equals "STANDARD.CFG", ignoring case.
bool IsStandardSetup(std::string_view path);

struct CurrentSetup {
    std::string SetupPath;
    std::string SetupName;
    bool SaveEnabled = false; // "Save setup" enabled; also kept as the item's tag
};
void SetCurrentSetup(CurrentSetup& current, const std::string& path);

// Reads the first record of a setup file (opened for reading only). A file
// that cannot be opened or is shorter than 104 bytes changes nothing and
// returns false with the cause in *error.
bool LoadSetupFile(const std::string& path, TSetupRecord& record, std::string* error);
// The record in the first 104 bytes of a file's contents (the rest is
// ignored); fewer bytes change nothing and return false with the reason.
bool ParseSetupBytes(std::span<const std::uint8_t> bytes, TSetupRecord& record, std::string* error);
// Writes the record; on failure returns false with the cause and leaves no
// partial file behind.
bool SaveSetupFile(const std::string& path, const TSetupRecord& record, std::string* error);

// Setup directory + "/" + "STANDARD.CFG" (a directory ending in "/" gets a second one).
std::string StandardSetupPath(const std::string& setupDir);

// The folder an installed program keeps its shipped files in (the default
// "STANDARD.CFG"), found relative to the executable's directory so that a
// moved installation still finds it; ends with "/".
std::string InstalledDataDir(const std::string& exeDir);
// Where a laboratory keeps its own default "STANDARD.CFG" for an installation
// whose programs are in exeDir: /etc/tavi/ for one in /usr (as the package's),
// else <prefix>/etc/tavi/; ends with "/".
std::string SiteConfigDir(const std::string& exeDir);
// The standard setup to load at start-up: the one in the setup directory, or,
// when that directory holds none, the first of siteDir (the laboratory's) and
// dataDir (the shipped one) that has one; empty directories are skipped.
std::string FindStandardSetup(const std::string& setupDir, const std::string& siteDir,
                              const std::string& dataDir);
std::string FindStandardSetup(const std::string& setupDir, const std::string& dataDir);

struct TSoundSetting {
    std::string FileName;
    int Off = 0;           // check-box state 0, 1, 2
    int Single = 0;        // check-box state 0, 1, 2
    int SingleEnabled = 0; // 0 or 1
    bool operator==(const TSoundSetting&) const = default;
};
enum SoundEvent { SweepStartSound = 0, SweepEndSound = 1, AccumulationEndSound = 2 };
std::array<TSoundSetting, 3> DefaultSoundSettings();

struct IniSettings {
    std::string SetupDir;
    std::string AcqDir;
    std::string OutDir;
    std::string PortName = "COM1";
    std::array<TSoundSetting, 3> Sounds = DefaultSoundSettings();
    bool operator==(const IniSettings&) const = default;
};

// "TAVI.INI" in the executable's directory.
std::string IniPath(const std::string& exeDir);

// Where the preferences file lives and what its empty directory lines become.
struct IniLocation {
    std::string Path;            // the TAVI.INI read at start and written at exit
    std::string SetupDirDefault; // for an empty line 1; ends with "/"
    std::string DataDirDefault;  // for empty lines 2 and 3; ends with "/"
    bool BesideExecutable = true;
    bool operator==(const IniLocation&) const = default;
};
// The user's own folders, used when the executable's directory is not ours to write.
struct UserFolders {
    std::string ConfigDir;    // the program's configuration folder, ends with "/"
    std::string DocumentsDir; // the user's documents folder (or home), ends with "/"
};
// Beside the executable (every default the executable's directory) when that
// directory keeps the file; otherwise the configuration folder, with setups
// defaulting to it and data to the documents folder.
IniLocation ChooseIniLocation(const std::string& exeDir, bool exeDirKeepsIni,
                              const UserFolders& user);
// $XDG_CONFIG_HOME/tavi/; an unset, empty or relative XDG_CONFIG_HOME means
// home/.config/tavi/, as the XDG base directory rules say.
std::string UserConfigDir(std::string_view xdgConfigHome, std::string_view home);
// The same for this process's environment (home from $HOME, else the password entry).
std::string UserConfigDir();
// True when this process may create files in dir: the system grants it and the
// directory's permission bits do too (root is not let past a read-only copy).
bool DirectoryWritable(const std::string& dir);
// True when TAVI.INI belongs beside the executable: its directory is writable
// and is not the binary folder of an installation (which would collect stray
// files even where root or the owner of the prefix could write it).
bool ExecutableDirKeepsIni(const std::string& exeDir);
// Reads the ten lines; empty directory lines become exeDir (with a trailing
// separator), an empty port line "COM1"; short or missing lines keep the
// defaults. Returns false (settings untouched) when the file cannot be opened.
bool ReadIni(const std::string& path, const std::string& exeDir, IniSettings& settings);
// The same at a chosen location, with its directory defaults.
bool ReadIni(const IniLocation& location, IniSettings& settings);
// The line rules of ReadIni applied to the file's text (CR LF or LF line ends).
// A missing line reads as an empty one. A numbers line gives its 1st, 3rd and
// 5th characters minus '0' ("3,1,0" gives Off 3); a value whose character is
// missing keeps the value already in settings.
void ParseIni(std::string_view text, const std::string& exeDir, IniSettings& settings);
void ParseIni(std::string_view text, const IniLocation& location, IniSettings& settings);
// The ten lines as WriteIni stores them.
std::string FormatIni(const IniSettings& settings);
// Writes the ten CR LF lines; false when the file cannot be written.
bool WriteIni(const std::string& path, const IniSettings& settings);
// Writes at the chosen location, creating the configuration folder (private to
// the user) when the file lives there; never creates folders beside the executable.
bool WriteIni(const IniLocation& location, const IniSettings& settings);

} // namespace tavi
