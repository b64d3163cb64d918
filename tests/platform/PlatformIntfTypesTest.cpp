#include <gtest/gtest.h>

#include "platform/RefCounted.h"

namespace {
class ICounter : public IInterface {
public:
  virtual int Value() = 0;
};
class TCounter : public TRefCountedObject<ICounter> {
public:
  explicit TCounter(int* destroyed) : Destroyed(destroyed) {}
  ~TCounter() override { ++*Destroyed; }
  int Value() override { return 7; }

private:
  int* Destroyed;
};
}  // namespace

TEST(RefPtr, ReleasesTheObjectWithTheLastReference) {
  int destroyed = 0;
  {
    RefPtr<ICounter> first = MakeRef<TCounter>(&destroyed);
    RefPtr<ICounter> second = first;
    RefPtr<ICounter> moved = std::move(second);
    EXPECT_FALSE(second);
    EXPECT_EQ(moved->Value(), 7);
    first.reset();
    EXPECT_EQ(destroyed, 0);
  }
  EXPECT_EQ(destroyed, 1);
}

#include <map>
#include <vector>

#include "platform/PlatformToolsBase.h"
#include "platform/RuntimeDetection.h"

namespace {
// Answers detection's questions from a table row and records what was asked.
class TFakeProbe : public IEnvironmentProbe {
public:
  std::uint32_t PlatformId = 2, Major = 10, Minor = 0;
  bool WineKey = false, WineExport = false, CrossOverKey = false;
  std::wstring Snap;
  bool SystemDir = false, UsersDir = false;
  bool BalloonReads = false;
  std::uint32_t Balloon = 0;
  bool Wow64Known = false, Wow64 = false;
  bool ProductKnown = false;
  std::uint32_t Product = 0;
  std::wstring Family;
  std::vector<std::wstring> Asked;

  void WindowsVersion(std::uint32_t& platformId, std::uint32_t& major, std::uint32_t& minor) override {
    platformId = PlatformId;
    major = Major;
    minor = Minor;
  }
  bool RegistryKeyExists(RegistryRoot root, const std::wstring& key) override {
    Asked.push_back(key);
    if (root == RegistryRoot::CurrentUser && key == L"Software\\Wine") return WineKey;
    if (root == RegistryRoot::LocalMachine && key == L"Software\\CodeWeavers\\CrossOver") return CrossOverKey;
    return false;
  }
  bool WineExportPresent() override { return WineExport; }
  std::wstring EnvironmentVariable(const std::wstring& name) override { return name == L"SNAP" ? Snap : L""; }
  bool DirectoryExists(const std::wstring& path) override {
    Asked.push_back(path);
    if (path == L"Z:\\System") return SystemDir;
    if (path == L"Z:\\Users") return UsersDir;
    return false;
  }
  bool ReadBalloonTips(std::uint32_t& value) override {
    value = Balloon;
    return BalloonReads;
  }
  bool QueryWow64(bool& isWow64) override {
    Asked.push_back(L"IsWow64Process");
    isWow64 = Wow64;
    return Wow64Known;
  }
  bool QueryProductType(std::uint32_t& productType) override {
    productType = Product;
    return ProductKnown;
  }
  bool QueryPackageFamilyName(std::wstring& name) override {
    name = Family;
    return !Family.empty();
  }
  bool WasAsked(const std::wstring& what) const {
    for (const auto& asked : Asked)
      if (asked == what) return true;
    return false;
  }
};
}  // namespace

TEST(DetectRuntimeEnvironment, WineNeedsBothTheKeyAndTheExport) {
  struct Case {
    bool Key, Export, Wine;
  };
  for (const Case c : {Case{false, false, false}, Case{true, false, false}, Case{false, true, false},
                       Case{true, true, true}}) {
    TFakeProbe probe;
    probe.WineKey = c.Key;
    probe.WineExport = c.Export;
    probe.CrossOverKey = true;
    probe.Snap = L"/snap/x";
    const TRuntimeEnvironment env = DetectRuntimeEnvironment(probe);
    EXPECT_EQ(env.IsWine, c.Wine) << c.Key << c.Export;
    // The Wine-only flags follow IsWine; the host folders are probed only under Wine.
    EXPECT_EQ(env.IsCrossOver, c.Wine);
    EXPECT_EQ(env.IsSnap, c.Wine);
    EXPECT_EQ(env.IsWineOnLinux, c.Wine);
    EXPECT_FALSE(env.IsWineOnMacOS);
    EXPECT_EQ(probe.WasAsked(L"Z:\\System"), c.Wine);
  }
}

TEST(DetectRuntimeEnvironment, MacOSNeedsBothHostFolders) {
  struct Case {
    bool System, Users, MacOS;
  };
  for (const Case c : {Case{true, false, false}, Case{false, true, false}, Case{true, true, true},
                       Case{false, false, false}}) {
    TFakeProbe probe;
    probe.WineKey = probe.WineExport = true;
    probe.SystemDir = c.System;
    probe.UsersDir = c.Users;
    const TRuntimeEnvironment env = DetectRuntimeEnvironment(probe);
    EXPECT_EQ(env.IsWineOnMacOS, c.MacOS) << c.System << c.Users;
    EXPECT_EQ(env.IsWineOnLinux, !c.MacOS);
    EXPECT_FALSE(env.IsSnap) << "an empty SNAP variable does not count";
  }
}

TEST(DetectRuntimeEnvironment, VersionFlags) {
  struct Case {
    std::uint32_t Platform, Major, Minor;
    bool NT, W2000, NT4, XP, Vista, W7, W8, W10;
  };
  const Case cases[] = {
      {1, 4, 10, false, false, false, false, false, false, false, false},  // Windows 98
      {2, 4, 0, true, false, true, false, false, false, false, false},
      {2, 5, 0, true, true, false, false, false, false, false, false},
      {2, 5, 1, true, true, false, true, false, false, false, false},
      {2, 6, 0, true, true, false, true, true, false, false, false},
      {2, 6, 1, true, true, false, true, true, true, false, false},
      {2, 6, 3, true, true, false, true, true, true, true, false},
      {2, 10, 0, true, true, false, true, true, true, true, true},
  };
  for (const Case& c : cases) {
    TFakeProbe probe;
    probe.PlatformId = c.Platform;
    probe.Major = c.Major;
    probe.Minor = c.Minor;
    const TRuntimeEnvironment env = DetectRuntimeEnvironment(probe);
    SCOPED_TRACE(testing::Message() << c.Platform << " " << c.Major << "." << c.Minor);
    EXPECT_EQ(env.IsWindowsNT, c.NT);
    EXPECT_EQ(env.IsWindows2000OrLater, c.W2000);
    EXPECT_EQ(env.IsWindowsNT4, c.NT4);
    EXPECT_EQ(env.IsWindowsXPOrLater, c.XP);
    EXPECT_EQ(env.IsWindowsVistaOrLater, c.Vista);
    EXPECT_EQ(env.IsWindows7OrLater, c.W7);
    EXPECT_EQ(env.IsWindows8OrLater, c.W8);
    EXPECT_EQ(env.IsWindows10OrLater, c.W10);
    EXPECT_EQ(probe.WasAsked(L"IsWow64Process"), c.NT) << "NT-only probes";
  }
}

TEST(DetectRuntimeEnvironment, BalloonTipsAndNtOnlyFlags) {
  TFakeProbe missing;
  EXPECT_TRUE(DetectRuntimeEnvironment(missing).BalloonTipsEnabled) << "a missing value means enabled";
  TFakeProbe off;
  off.BalloonReads = true;
  off.Balloon = 0;
  EXPECT_FALSE(DetectRuntimeEnvironment(off).BalloonTipsEnabled);

  TFakeProbe nt;
  nt.Wow64Known = nt.Wow64 = true;
  nt.ProductKnown = true;
  nt.Product = 179;
  nt.Family = L"Tavrel_abc";
  TRuntimeEnvironment env = DetectRuntimeEnvironment(nt);
  EXPECT_TRUE(env.IsWow64);
  EXPECT_TRUE(env.IsWindowsSMode);
  EXPECT_TRUE(env.IsPackagedApp);
  EXPECT_EQ(env.PackageFamilyName, L"Tavrel_abc");

  nt.PlatformId = 1;
  env = DetectRuntimeEnvironment(nt);
  EXPECT_FALSE(env.IsWow64 || env.IsWindowsSMode || env.IsPackagedApp);
  EXPECT_TRUE(env.PackageFamilyName.empty());
}

namespace {
class TFixedTickTools : public TPlatformToolsBase {
public:
  std::uint64_t GetTickCount() override { return 4242; }
};
}  // namespace

TEST(PlatformTools, SetPlatformToolsReplacesTheInstanceAndGivesBackThePrevious) {
  IPlatformTools* original = &PlatformTools();
  RefPtr<IPlatformTools> previous = SetPlatformTools(MakeRef<TFixedTickTools>());
  EXPECT_EQ(previous.get(), original);
  EXPECT_EQ(PlatformTools().GetTickCount(), 4242u);
  SetPlatformTools(previous);
  EXPECT_EQ(&PlatformTools(), original);
}

TEST(TPlatformToolsBase, FailureValuesAndPureOperations) {
  RefPtr<IPlatformTools> base = MakeRef<TPlatformToolsBase>();
  EXPECT_EQ(base->OpenFileHandle(L"x", 0x40, true), InvalidHandle);
  EXPECT_EQ(base->GetFileAttributes(L"x"), InvalidFileAttributes);
  EXPECT_EQ(base->GetFileSize(L"x", false), -1);
  EXPECT_NE(base->GetLastError(), 0u);
  base->SetLastError(0);
  EXPECT_FALSE(base->CopyFile(L"a", L"b", false));
  EXPECT_EQ(base->GetLastError(), 120u);
  EXPECT_EQ(base->AskYesNoWithTimeout(L"c", L"t", 10), 2);
  EXPECT_EQ(base->MulDiv(16, 144, 96), 24);
  EXPECT_EQ(base->MulDiv(5, 1, 2), 3);
  EXPECT_EQ(base->MulDiv(1, 1, 0), -1);
  // 2000-01-01 00:00 UTC is day 36526; 12:00 adds a half.
  EXPECT_DOUBLE_EQ(base->FileTimeToDateTime(125911584000000000ull, false), 36526.0);
  EXPECT_DOUBLE_EQ(base->FileTimeToDateTime(125911584000000000ull + 432000000000ull, false), 36526.5);
  std::int32_t counter = 5;
  EXPECT_EQ(base->InterlockedIncrement(counter), 6);
  EXPECT_EQ(base->InterlockedDecrement(counter), 5);
  TTaskWindowList list = new TTaskWindowNode{nullptr, new TTaskWindowNode{nullptr, nullptr}};
  base->EnableTaskWindows(list);
  EXPECT_EQ(list, nullptr);
}
