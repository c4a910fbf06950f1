// The module installed as a user would, in folders whose names are awkward:
// one that the ANSI code page cannot spell, one with spaces, one with a letter
// beyond ASCII that the code page can spell. Each is registered with
// regsvr32, opened and streamed by zd-capture, and unregistered; the settings
// file beside the module, in a different encoding each time, names a font
// sheet and a latency log with letters beyond ASCII.
#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <string>
#include <vector>

#include "server/guids.h"
#include "tests/hosts/host_support.h"
#include "platform/unique_handle.h"
#include "tools/capture/com_util.h"

namespace zdhost {
namespace {

enum class Encoding { kAnsi, kUtf8, kUtf16 };

struct FolderCase {
  const char* name;  // of the test case
  const wchar_t* folder;
  bool ansiCanSpell;    // whether the ANSI code page of the pinned locale spells the folder
  Encoding settings;    // how the settings file is written
  const wchar_t* font;  // the font sheet's file name, as the settings file gives it
  const wchar_t* log;   // the latency log's file name
};

const FolderCase kCases[] = {
    // UTF-8 as Notepad saves it: no byte order mark.
    {"FolderTheAnsiCodePageCannotSpell", L"C:\\\u6d4b\u8bd5 \u03a9\u043c\u0435\u0433\u0430", false,
     Encoding::kUtf8, L"\u0448\u0440\u0438\u0444\u0442.bmp",
     L"\u0436\u0443\u0440\u043d\u0430\u043b.txt"},
    {"FolderWithSpaces", L"C:\\Program Files\\Zintu Dobrel", true, Encoding::kUtf16,
     L"\u03b3\u03c1\u03b1\u03bc\u03bc\u03b1\u03c4\u03b1.bmp", L"latency \u03b1.txt"},
    {"FolderWithALetterOfTheAnsiCodePage", L"C:\\Gr\u00fc\u00dfe", true, Encoding::kAnsi,
     L"Schrift \u00fc.bmp", L"Protokoll \u00e4.txt"},
};

constexpr const char* kDeviceName = "Zintu Dobrel x64";

std::wstring Widen(const std::string& ansi) {
  std::wstring out(ansi.size() + 1, L'\0');
  const int n =
      MultiByteToWideChar(CP_ACP, 0, ansi.c_str(), -1, &out[0], static_cast<int>(out.size()));
  out.resize(n > 0 ? static_cast<size_t>(n - 1) : 0);
  return out;
}

std::string Narrow(const std::wstring& text, UINT codePage) {
  const int n = WideCharToMultiByte(codePage, 0, text.c_str(), -1, nullptr, 0, nullptr, nullptr);
  std::string out(static_cast<size_t>(n > 0 ? n : 1), '\0');
  WideCharToMultiByte(codePage, 0, text.c_str(), -1, &out[0], n, nullptr, nullptr);
  out.resize(out.size() - 1);
  return out;
}

bool AnsiCanSpell(const std::wstring& text) {
  BOOL usedDefault = FALSE;
  char buffer[MAX_PATH * 2];
  const int n = WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, text.c_str(), -1, buffer,
                                    sizeof buffer, nullptr, &usedDefault);
  return n > 0 && !usedDefault;
}

// The settings file: two presets, the second of an unusual size that only
// this file offers, both with the font sheet named by the case.
std::string SettingsFile(const FolderCase& c) {
  const std::wstring text = L"[MAIN]\r\npreset_num=2\r\nauto_clock=1\r\nlatency_log=" +
                            std::wstring(c.log) +
                            L"\r\n[PRESET_DEF]\r\nw=320\r\nh=240\r\nfcc=RG32\r\nframe_time=30\r\n"
                            L"bmp=chart_small.bmp\r\nfont=" +
                            std::wstring(c.font) +
                            L"\r\n[PRESET_01]\r\nenable=1\r\n[PRESET_02]\r\nenable=1\r\n"
                            L"w=352\r\nh=288\r\nfcc=YUY2\r\nframe_time=15\r\n";
  switch (c.settings) {
    case Encoding::kAnsi:
      return Narrow(text, CP_ACP);
    case Encoding::kUtf8:
      return Narrow(text, CP_UTF8);
    case Encoding::kUtf16:
      break;
  }
  std::string bytes = "\xFF\xFE";
  for (wchar_t ch : text) {
    bytes += static_cast<char>(ch & 0xFF);
    bytes += static_cast<char>((ch >> 8) & 0xFF);
  }
  return bytes;
}

bool WriteBytes(const std::wstring& path, const std::string& bytes) {
  HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE)
    return false;
  UniqueHandle owner(file);
  DWORD written = 0;
  return WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
         written == bytes.size();
}

bool FileExists(const std::wstring& path) {
  return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

int RunW(const std::wstring& commandLine) {
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process{};
  std::wstring line = commandLine;
  if (!CreateProcessW(nullptr, &line[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                      &process))
    return -1;
  UniqueHandle thread(process.hThread);
  UniqueHandle owner(process.hProcess);
  if (WaitForSingleObject(owner.Get(), 120000) != WAIT_OBJECT_0) {
    TerminateProcess(owner.Get(), 1);
    return -1;
  }
  DWORD code = 0;
  return GetExitCodeProcess(owner.Get(), &code) ? static_cast<int>(code) : -1;
}

// The default value of a key under HKEY_CLASSES_ROOT, in the 64-bit view.
bool ReadDefaultValue64(const std::wstring& key, std::wstring* text) {
  HKEY handle = nullptr;
  if (RegOpenKeyExW(HKEY_CLASSES_ROOT, key.c_str(), 0, KEY_READ | KEY_WOW64_64KEY, &handle) !=
      ERROR_SUCCESS)
    return false;
  wchar_t data[1024] = {};
  DWORD size = sizeof data - sizeof(wchar_t);
  DWORD type = 0;
  const LONG result =
      RegQueryValueExW(handle, nullptr, nullptr, &type, reinterpret_cast<BYTE*>(data), &size);
  RegCloseKey(handle);
  if (result != ERROR_SUCCESS || type != REG_SZ)
    return false;
  *text = data;
  return true;
}

int CountDevice() {
  const std::vector<std::string> names = VideoDeviceNames();
  return static_cast<int>(std::count(names.begin(), names.end(), kDeviceName));
}

std::wstring ProgramFolder() {
  wchar_t path[MAX_PATH] = {};
  GetModuleFileNameW(nullptr, path, MAX_PATH);
  std::wstring folder(path);
  return folder.substr(0, folder.find_last_of(L"\\/"));
}

class InstalledModule : public ::testing::TestWithParam<FolderCase> {
 protected:
  void SetUp() override {
    m_folder = GetParam().folder;
    m_module = m_folder + L"\\ZintuDobrel64.ax";
  }
  void TearDown() override {
    RunW(L"regsvr32.exe /u /s \"" + m_module + L"\"");
    for (const std::wstring& file : m_files)
      DeleteFileW(file.c_str());
    RemoveDirectoryW(m_folder.c_str());
  }

  // Copies the module and the bitmaps beside it, the font sheet under the
  // case's name, and writes the settings file.
  void Install() {
    CreateDirectoryW(m_folder.c_str(), nullptr);
    const std::wstring source = Widen(zdhost::ModuleFolder());
    const std::vector<std::pair<std::wstring, std::wstring>> copies = {
        {L"ZintuDobrel64.ax", L"ZintuDobrel64.ax"},
        {L"chart_small.bmp", L"chart_small.bmp"},
        {L"font.bmp", GetParam().font},
    };
    for (const auto& copy : copies) {
      const std::wstring target = m_folder + L"\\" + copy.second;
      m_files.push_back(target);
      ASSERT_TRUE(CopyFileW((source + L"\\" + copy.first).c_str(), target.c_str(), FALSE))
          << Narrow(target, CP_UTF8);
    }
    const std::wstring settings = m_folder + L"\\ZintuDobrel.ini";
    m_files.push_back(settings);
    ASSERT_TRUE(WriteBytes(settings, SettingsFile(GetParam())));
    m_files.push_back(m_folder + L"\\" + GetParam().log);
    m_files.push_back(m_folder + L"\\snapshot \u5feb\u7167.bmp");
  }

  std::wstring m_folder;
  std::wstring m_module;
  std::vector<std::wstring> m_files;
  zdcap::ComApartment m_apartment{COINIT_APARTMENTTHREADED};
};

TEST_P(InstalledModule, RegistersTheExactPathStreamsWithItsOwnSettingsAndUnregisters) {
  const FolderCase& c = GetParam();
  // Without this the case would pass under a code page that spells the folder.
  ASSERT_EQ(AnsiCanSpell(m_folder), c.ansiCanSpell)
      << "ANSI code page " << GetACP() << ": pin the locale (LC_ALL=C.UTF-8 gives 1252)";
  ASSERT_NO_FATAL_FAILURE(Install());
  const std::wstring classKey = L"CLSID\\" + Widen(ClsidText(CLSID_ZintuDobrel));
  const std::wstring pageKey = L"CLSID\\" + Widen(ClsidText(CLSID_ZintuDobrelProps));
  const std::wstring serverKey = classKey + L"\\InprocServer32";
  const std::wstring pageServerKey = pageKey + L"\\InprocServer32";
  RunW(L"regsvr32.exe /u /s \"" + m_module + L"\"");
  ASSERT_EQ(CountDevice(), 0);

  ASSERT_EQ(RunW(L"regsvr32.exe /s \"" + m_module + L"\""), 0);
  for (const std::wstring& key : {serverKey, pageServerKey}) {
    std::wstring registered;
    ASSERT_TRUE(ReadDefaultValue64(key, &registered));
    EXPECT_EQ(Narrow(registered, CP_UTF8), Narrow(m_module, CP_UTF8));
  }
  EXPECT_EQ(CountDevice(), 1);

  // The 352 x 288 YUY2 preset exists only in this settings file, and the
  // stream starts only when the font sheet it names is found.
  const std::wstring capture = ProgramFolder() + L"\\..\\..\\tools\\capture\\zd-capture.exe";
  const std::wstring snapshot = m_folder + L"\\snapshot \u5feb\u7167.bmp";
  EXPECT_EQ(RunW(L"\"" + capture + L"\" --size 352x288 --format YUY2 --fps 15 --frames 3 " +
                 L"--snapshot \"" + snapshot + L"\""),
            0);
  EXPECT_TRUE(FileExists(snapshot)) << "zd-capture writes to a path given in its arguments";
  EXPECT_TRUE(FileExists(m_folder + L"\\" + c.log)) << "the latency log lies beside the module";

  ASSERT_EQ(RunW(L"regsvr32.exe /u /s \"" + m_module + L"\""), 0);
  std::wstring left;
  for (const std::wstring& key : {classKey, serverKey, pageKey, pageServerKey})
    EXPECT_FALSE(ReadDefaultValue64(key, &left)) << Narrow(key, CP_UTF8);
  EXPECT_EQ(CountDevice(), 0);
}

INSTANTIATE_TEST_SUITE_P(Folders, InstalledModule, ::testing::ValuesIn(kCases),
                         [](const ::testing::TestParamInfo<FolderCase>& info) {
                           return std::string(info.param.name);
                         });

}  // namespace
}  // namespace zdhost
