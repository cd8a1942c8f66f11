// The installer as an administrator deploying it silently would run it, in a
// Wine prefix of its own that runs 32-bit programs too (tools/installer-test.sh):
// install, open the navigator through the installed module, install again over
// it, uninstall.
#include <gtest/gtest.h>
#include <windows.h>
#include <sddl.h>
#include <shlobj.h>

#include <cstring>
#include <set>
#include <vector>
#include <string>

#include "Programs.h"
#include "TempTree.h"

namespace {

const char kClsid[] = "{5B0D6E6C-3F2A-4C1E-9B7D-1E2A3C4D5E62}";
const char kCommandClsid[] = "{5B0D6E6C-3F2A-4C1E-9B7D-1E2A3C4D5E63}";
const char kUninstall[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Tolv";
const char kRunOnce[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\RunOnce";
const REGSAM kViews[] = {KEY_WOW64_64KEY, KEY_WOW64_32KEY};

std::string Value(HKEY root, const std::string& path, const char* name, REGSAM view = KEY_WOW64_64KEY) {
    HKEY key;
    if (RegOpenKeyExA(root, path.c_str(), 0, KEY_QUERY_VALUE | view, &key) != ERROR_SUCCESS) return "<none>";
    char data[1024] = "";
    DWORD size = sizeof data - 1, type = 0;
    LONG status = RegQueryValueExA(key, name, nullptr, &type, reinterpret_cast<BYTE*>(data), &size);
    RegCloseKey(key);
    if (status != ERROR_SUCCESS) return "<none>";
    if (type == REG_DWORD) return std::to_string(*reinterpret_cast<DWORD*>(data));
    return data;
}

bool KeyExists(HKEY root, const std::string& path, REGSAM view) {
    HKEY key;
    if (RegOpenKeyExA(root, path.c_str(), 0, KEY_READ | view, &key) != ERROR_SUCCESS) return false;
    RegCloseKey(key);
    return true;
}

std::string ProgramFiles(bool x86) {
    char path[MAX_PATH] = "";
    GetEnvironmentVariableA(x86 ? "ProgramFiles(x86)" : "ProgramW6432", path, MAX_PATH);
    return std::string(path) + "\\Tolv";
}

bool Exists(const std::string& path) { return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

std::string Shortcut() {
    char programs[MAX_PATH] = "";
    SHGetFolderPathA(nullptr, CSIDL_COMMON_PROGRAMS, nullptr, SHGFP_TYPE_CURRENT, programs);
    return std::string(programs) + "\\Tolv.lnk";
}

// A folder's names, in order.
std::string Listing(const std::string& folder) {
    std::set<std::string> names;
    WIN32_FIND_DATAA entry;
    HANDLE find = FindFirstFileA((folder + "\\*").c_str(), &entry);
    if (find == INVALID_HANDLE_VALUE) return "<none>";
    do {
        if (strcmp(entry.cFileName, ".") && strcmp(entry.cFileName, "..")) names.insert(entry.cFileName);
    } while (FindNextFileA(find, &entry));
    FindClose(find);
    std::string listing;
    for (const std::string& name : names) listing += name + " ";
    return listing;
}

ULONGLONG WriteTime(const std::string& path) {
    WIN32_FILE_ATTRIBUTE_DATA data{};
    GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data);
    return ULONGLONG(data.ftLastWriteTime.dwHighDateTime) << 32 | data.ftLastWriteTime.dwLowDateTime;
}

bool SetWriteTime(const std::string& path, ULONGLONG time) {
    HANDLE file = CreateFileA(path.c_str(), FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    FILETIME when{DWORD(time), DWORD(time >> 32)};
    bool done = SetFileTime(file, nullptr, nullptr, &when);
    CloseHandle(file);
    return done;
}

// What an installation leaves: both modules registered for folders, each in
// its own view, with its program beside it; the package and its logos in the
// 64-bit folder, and the log of its registration; a Start-menu shortcut;
// one setting, one entry in Add or Remove Programs. The folder
// handler's key is one that both views share; the class it names is each
// view's own.
void ExpectInstalled() {
    const std::string folders[] = {ProgramFiles(false), ProgramFiles(true)};
    EXPECT_EQ(Value(HKEY_CLASSES_ROOT, "Folder\\ShellEx\\ContextMenuHandlers\\Tolv", nullptr), kClsid);
    for (int v = 0; v < 2; ++v) {
        SCOPED_TRACE(v == 0 ? "64-bit view" : "32-bit view");
        EXPECT_TRUE(Exists(folders[v] + "\\Tolv.dll"));
        EXPECT_TRUE(Exists(folders[v] + "\\Tolv.exe"));
        for (const char* clsid : {kClsid, kCommandClsid})
            EXPECT_EQ(Value(HKEY_CLASSES_ROOT, std::string("CLSID\\") + clsid + "\\InprocServer32", nullptr, kViews[v]),
                      folders[v] + "\\Tolv.dll");
        EXPECT_EQ(Value(HKEY_LOCAL_MACHINE, kRunOnce, "dele", kViews[v]), "<none>");
    }
    EXPECT_EQ(Value(HKEY_LOCAL_MACHINE, "software\\Varnel", "show_dlg"), "1");
    EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, "software\\Varnel", KEY_WOW64_32KEY));  // one setting for both
    std::string folder = ProgramFiles(false);
    EXPECT_EQ(Listing(folder + "\\Assets"), "Square150x150Logo.png Square44x44Logo.png StoreLogo.png ");
    EXPECT_TRUE(Exists(folder + "\\Tolv.msix"));
    EXPECT_TRUE(Exists(folder + "\\install.log"));
    EXPECT_TRUE(Exists(Shortcut()));
    EXPECT_EQ(Value(HKEY_LOCAL_MACHINE, kUninstall, "DisplayName"), "Tolv");
    EXPECT_EQ(Value(HKEY_LOCAL_MACHINE, kUninstall, "DisplayVersion"), "1.0.0.1");
    EXPECT_EQ(Value(HKEY_LOCAL_MACHINE, kUninstall, "DisplayIcon"), folder + "\\Tolv.dll,-117");
    EXPECT_EQ(Value(HKEY_LOCAL_MACHINE, kUninstall, "InstallLocation"), folder);
    EXPECT_EQ(Value(HKEY_LOCAL_MACHINE, kUninstall, "UninstallString"), "\"" + folder + "\\uninstall.exe\"");
    EXPECT_EQ(Value(HKEY_LOCAL_MACHINE, kUninstall, "QuietUninstallString"),
              "\"" + folder + "\\uninstall.exe\" /S");
    EXPECT_GT(atoi(Value(HKEY_LOCAL_MACHINE, kUninstall, "EstimatedSize").c_str()), 100);
    EXPECT_EQ(Value(HKEY_LOCAL_MACHINE, kUninstall, "NoModify"), "1");
    EXPECT_EQ(Value(HKEY_LOCAL_MACHINE, kUninstall, "NoRepair"), "1");
    EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, kUninstall, KEY_WOW64_32KEY));  // one entry
}

// Nothing of an installation left: no folder, no key in either view.
void ExpectUninstalled() {
    EXPECT_FALSE(Exists(ProgramFiles(false)));
    EXPECT_FALSE(Exists(ProgramFiles(true)));
    EXPECT_FALSE(Exists(Shortcut()));
    const std::string classes[] = {"Folder\\ShellEx\\ContextMenuHandlers\\Tolv",
                                   std::string("CLSID\\") + kClsid,
                                   std::string("CLSID\\") + kCommandClsid,
                                   "Tolv.Quilby",
                                   "Tolv.Quilby.1",
                                   "TypeLib\\{5B0D6E6C-3F2A-4C1E-9B7D-1E2A3C4D5E60}",
                                   "Interface\\{5B0D6E6C-3F2A-4C1E-9B7D-1E2A3C4D5E61}"};
    for (int v = 0; v < 2; ++v) {
        SCOPED_TRACE(v == 0 ? "64-bit view" : "32-bit view");
        for (const std::string& key : classes) EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, key, kViews[v])) << key;
        EXPECT_EQ(Value(HKEY_LOCAL_MACHINE, kRunOnce, "dele", kViews[v]), "<none>");
        EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, kUninstall, kViews[v]));
        EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, "software\\Varnel", kViews[v]));
    }
}

// Runs the uninstaller silently to its end and returns its exit code. NSIS's
// uninstaller, run as it is, starts a copy of itself outside the folder it
// removes and returns at once; one that waits for the result runs such a copy
// itself, told where the installation is.
DWORD Uninstall() {
    char temp[MAX_PATH] = "";
    GetTempPathA(MAX_PATH, temp);
    std::string copy = std::string(temp) + "Tolv-uninstall.exe";
    DWORD code = 99;
    if (CopyFileA((ProgramFiles(false) + "\\uninstall.exe").c_str(), copy.c_str(), FALSE))
        Capture("\"" + copy + "\" /S _?=" + ProgramFiles(false), &code);
    DeleteFileA(copy.c_str());
    return code;
}

std::string SetupCommand() { return "\"" + BuildDir() + "\\Tolv-setup.exe\" /S"; }

// Installs silently, as a deployment tool would, and checks the result.
void Install() {
    DWORD code = 99;
    Capture(SetupCommand(), &code);
    ASSERT_EQ(code, 0u);
    ExpectInstalled();
}

// A system folder's regsvr32 out of the way, as a policy that blocks it
// would leave it: it does not start. Put back when the scope ends.
class WithoutRegsvr32 {
public:
    explicit WithoutRegsvr32(const char* folder) {
        char windows[MAX_PATH] = "";
        GetWindowsDirectoryA(windows, MAX_PATH);
        path_ = std::string(windows) + "\\" + folder + "\\regsvr32.exe";
        moved_ = MoveFileA(path_.c_str(), (path_ + ".away").c_str()) != 0;
    }
    ~WithoutRegsvr32() {
        if (moved_) MoveFileA((path_ + ".away").c_str(), path_.c_str());
    }
    bool Moved() const { return moved_; }

private:
    std::string path_;
    bool moved_ = false;
};

// A key of the 64-bit view that no one may change or delete, as only an
// administrator with its ownership could change it; open again when the
// scope ends.
class ReadOnlyKey {
public:
    explicit ReadOnlyKey(const char* path) {
        if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, path, 0, nullptr, 0, KEY_ALL_ACCESS | KEY_WOW64_64KEY, nullptr, &key_,
                            nullptr) == ERROR_SUCCESS)
            locked_ = Allow("D:P(A;;KR;;;WD)");
    }
    ~ReadOnlyKey() {
        if (!key_) return;
        Allow("D:P(A;;KA;;;WD)");
        RegCloseKey(key_);
    }
    bool Locked() const { return locked_; }

private:
    bool Allow(const char* access) {
        PSECURITY_DESCRIPTOR descriptor = nullptr;
        if (!ConvertStringSecurityDescriptorToSecurityDescriptorA(access, SDDL_REVISION_1, &descriptor, nullptr))
            return false;
        bool done = RegSetKeySecurity(key_, DACL_SECURITY_INFORMATION, descriptor) == ERROR_SUCCESS;
        LocalFree(descriptor);
        return done;
    }
    HKEY key_ = nullptr;
    bool locked_ = false;
};

// A failed registration leaves no half installation: where registration
// cannot write the setting's key (as only an administrator with its
// ownership could change it), nothing of it is left, not even of the
// installation before it, whose modules are replaced by then. Where the
// 64-bit regsvr32 does not even start, the registration before cannot be
// taken back either: that installation stays whole, the 32-bit module's
// registration, uninstaller and entry included.
TEST(Installer, AFailedRegistrationLeavesNoHalfInstallation) {
    ASSERT_NO_FATAL_FAILURE(Install());
    DWORD code = 0;
    std::string output;
    {
        ReadOnlyKey setting("software\\Varnel");
        ASSERT_TRUE(setting.Locked());
        output = Capture(SetupCommand(), &code);
    }
    RegDeleteKeyExA(HKEY_LOCAL_MACHINE, "software\\Varnel", KEY_WOW64_64KEY, 0);
    EXPECT_NE(code, 0u) << output;
    for (int i = 0; i < 2; ++i) {
        SCOPED_TRACE(i == 0 ? "64-bit view" : "32-bit view");
        EXPECT_FALSE(Exists(ProgramFiles(i == 1)));
        EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, std::string("CLSID\\") + kClsid, kViews[i]));
        EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, kUninstall, kViews[i]));
    }
    EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, "Folder\\ShellEx\\ContextMenuHandlers\\Tolv", KEY_WOW64_64KEY));

    ASSERT_NO_FATAL_FAILURE(Install());
    {
        WithoutRegsvr32 blocked("System32");
        ASSERT_TRUE(blocked.Moved());
        output = Capture(SetupCommand(), &code);
    }
    EXPECT_NE(code, 0u) << output;
    ExpectInstalled();
    EXPECT_TRUE(Exists(ProgramFiles(false) + "\\uninstall.exe"));
}

TEST(Installer, InstallsUpgradesAndUninstallsSilently) {
    ASSERT_NO_FATAL_FAILURE(Install());
    DWORD code = 99;

    // The shell opens the navigator through the installed 64-bit module.
    TempTree tree;
    tree.File("a.txt", 10);
    std::string output = Capture("\"" + BuildDir() + "\\shellhost.exe\" \"" + tree.Root() + "\" --close --wait 300", &code);
    EXPECT_EQ(code, 0u) << output;
    EXPECT_NE(output.find("navigator: open"), std::string::npos) << output;

    // Over an installation: the files replaced, the registration current.
    HKEY key;
    ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "software\\Varnel", 0, KEY_SET_VALUE | KEY_WOW64_64KEY, &key),
              ERROR_SUCCESS);
    DWORD off = 0;
    RegSetValueExA(key, "show_dlg", 0, REG_DWORD, reinterpret_cast<BYTE*>(&off), sizeof off);
    RegCloseKey(key);
    ASSERT_NO_FATAL_FAILURE(Install());

    // The uninstaller, as Add or Remove Programs runs it silently; it goes on
    // from a copy of itself, so its work is done once the folders are gone.
    std::string quiet = Value(HKEY_LOCAL_MACHINE, kUninstall, "QuietUninstallString");
    Capture(quiet, &code);
    EXPECT_EQ(code, 0u);
    for (int i = 0; i < 600 && (Exists(ProgramFiles(false)) || Exists(ProgramFiles(true))); ++i) Sleep(100);
    ExpectUninstalled();
}

// A module held by another program that does not let it be deleted (a
// scanner, a backup) can be neither replaced nor renamed: the upgrade fails
// and changes nothing, both modules of the installation before in place,
// registered, with nothing left beside them.
TEST(Installer, AnUpgradeOverAHeldModuleFailsAndChangesNothing) {
    ASSERT_NO_FATAL_FAILURE(Install());
    const ULONGLONG before = 126227808000000000ull;  // 2001-01-01, unlike any module the installer writes
    for (bool x86 : {false, true}) ASSERT_TRUE(SetWriteTime(ProgramFiles(x86) + "\\Tolv.dll", before));
    HANDLE held = CreateFileA((ProgramFiles(false) + "\\Tolv.dll").c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                              OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(held, INVALID_HANDLE_VALUE);
    DWORD code = 0;
    std::string output = Capture(SetupCommand(), &code);
    CloseHandle(held);
    EXPECT_NE(code, 0u) << output;
    ExpectInstalled();
    EXPECT_EQ(Listing(ProgramFiles(false)), "Assets Tolv.dll Tolv.exe Tolv.msix install.log uninstall.exe ");
    EXPECT_EQ(Listing(ProgramFiles(true)), "Tolv.dll Tolv.exe ");
    for (bool x86 : {false, true}) EXPECT_EQ(WriteTime(ProgramFiles(x86) + "\\Tolv.dll"), before);
}

// With both modules removed by hand, none is left to unregister itself: the
// uninstaller removes the keys itself. While something stays (here its own
// file, held by another program) it fails, and keeps its entry to be run
// again.
TEST(Installer, AnUninstallWithoutTheModulesLeavesNoKey) {
    ASSERT_NO_FATAL_FAILURE(Install());
    for (bool x86 : {false, true}) ASSERT_TRUE(DeleteFileA((ProgramFiles(x86) + "\\Tolv.dll").c_str()));
    HANDLE held = CreateFileA((ProgramFiles(false) + "\\uninstall.exe").c_str(), GENERIC_READ, FILE_SHARE_READ,
                              nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(held, INVALID_HANDLE_VALUE);
    DWORD code = Uninstall();
    CloseHandle(held);
    EXPECT_NE(code, 0u);
    EXPECT_EQ(Value(HKEY_LOCAL_MACHINE, kUninstall, "DisplayName"), "Tolv");

    EXPECT_EQ(Uninstall(), 0u);
    ExpectUninstalled();
}

// Windows 11 as the registry tells it, in both views, and a stand-in for
// PowerShell that records what it is asked and ends with the code given
// (TOLV_RECORD_EXIT); both taken back when the scope ends.
class PosedWindows11 {
public:
    PosedWindows11() {
        for (REGSAM view : kViews) builds_.push_back(Value(HKEY_LOCAL_MACHINE, kVersionKey, "CurrentBuildNumber", view));
        SetBuild({"22000", "22000"});
        char windows[MAX_PATH] = "";
        GetWindowsDirectoryA(windows, MAX_PATH);
        powerShell_ = std::string(windows) + "\\System32\\WindowsPowerShell\\v1.0\\powershell.exe";
        CreateDirectoryA((std::string(windows) + "\\System32\\WindowsPowerShell").c_str(), nullptr);
        CreateDirectoryA((std::string(windows) + "\\System32\\WindowsPowerShell\\v1.0").c_str(), nullptr);
        moved_ = MoveFileA(powerShell_.c_str(), (powerShell_ + ".away").c_str()) != 0;
        standIn_ = CopyFileA((BuildDir() + "\\recorder.exe").c_str(), powerShell_.c_str(), FALSE) != 0;
        char temp[MAX_PATH] = "";
        GetTempPathA(MAX_PATH, temp);
        record_ = std::string(temp) + "powershell-record.txt";
        DeleteFileA(record_.c_str());
        SetEnvironmentVariableA("TOLV_RECORD", record_.c_str());
    }
    ~PosedWindows11() {
        SetBuild(builds_);
        DeleteFileA(powerShell_.c_str());
        if (moved_) MoveFileA((powerShell_ + ".away").c_str(), powerShell_.c_str());
        DeleteFileA(record_.c_str());
        SetEnvironmentVariableA("TOLV_RECORD", nullptr);
        SetEnvironmentVariableA("TOLV_RECORD_EXIT", nullptr);
    }
    bool Ready() const { return standIn_; }
    // What PowerShell was asked since the last call, one line a run.
    std::string TakeRecord() {
        std::string text = FileBytes(record_);
        DeleteFileA(record_.c_str());
        return text == "<missing>" ? "" : text;
    }

private:
    void SetBuild(const std::vector<std::string>& builds) {
        for (size_t v = 0; v < 2; ++v) {
            HKEY key;
            if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kVersionKey, 0, KEY_SET_VALUE | kViews[v], &key) != ERROR_SUCCESS)
                continue;
            for (const char* name : {"CurrentBuildNumber", "CurrentBuild"})
                if (builds[v] == "<none>")
                    RegDeleteValueA(key, name);
                else
                    RegSetValueExA(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(builds[v].c_str()),
                                   static_cast<DWORD>(builds[v].size() + 1));
            RegCloseKey(key);
        }
    }
    static constexpr const char* kVersionKey = "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion";
    std::vector<std::string> builds_;
    std::string powerShell_, record_;
    bool moved_ = false, standIn_ = false;
};

// On Windows 11 the installer registers the package, removing any earlier
// one first, and the uninstaller removes it. Where registration fails, as
// it does under Wine (PowerShell failing, or doing nothing and exiting 0),
// the failure goes to the log, the installation goes on and ends with 0,
// and the classic menu opens the navigator.
TEST(Installer, OnWindows11ItTriesThePackageAndKeepsTheClassicMenuWhereThatFails) {
    PosedWindows11 posed;
    ASSERT_TRUE(posed.Ready());
    const std::string folder = ProgramFiles(false);
    const std::string add = "Add-AppxPackage -Path '" + folder + "\\Tolv.msix' -ExternalLocation '" + folder + "'";
    for (const char* exitCode : {"1", "0"}) {
        SCOPED_TRACE(std::string("PowerShell ends with ") + exitCode);
        SetEnvironmentVariableA("TOLV_RECORD_EXIT", exitCode);
        ASSERT_NO_FATAL_FAILURE(Install());
        std::string record = posed.TakeRecord();
        size_t removal = record.find("Get-AppxPackage -Name Tolv | Remove-AppxPackage");
        EXPECT_NE(removal, std::string::npos) << record;
        EXPECT_NE(record.find(add, removal), std::string::npos) << record;
        EXPECT_EQ(FileBytes(folder + "\\install.log").find("Windows build 22000: the package could not be registered (PowerShell: " +
                                                        std::string(exitCode) + ")"),
                  0u);
    }
    TempTree tree;
    tree.File("a.txt", 10);
    DWORD code = 99;
    std::string output = Capture("\"" + BuildDir() + "\\shellhost.exe\" \"" + tree.Root() + "\" --close --wait 300", &code);
    EXPECT_NE(output.find("navigator: open"), std::string::npos) << output;

    EXPECT_EQ(Uninstall(), 0u);
    EXPECT_NE(posed.TakeRecord().find("Remove-AppxPackage"), std::string::npos);
    ExpectUninstalled();
}

}  // namespace
