// What the built PelliportHost.exe says it is, read back as Windows reads it:
// the version resource through GetFileVersionInfoW, the application manifest
// as the module's resource.
#include <windows.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>
#include <type_traits>
#include <vector>

#include "host/Version.h"

namespace pelliport {
namespace {

const std::filesystem::path kHost = PELLIPORT_HOST_EXE;

class VersionResource : public ::testing::Test {
 protected:
  void SetUp() override {
    DWORD handle = 0;
    const DWORD size = ::GetFileVersionInfoSizeW(kHost.c_str(), &handle);
    ASSERT_GT(size, 0u) << "no version resource in " << kHost.string();
    data_.resize(size);
    ASSERT_TRUE(::GetFileVersionInfoW(kHost.c_str(), 0, size, data_.data()));
  }

  std::wstring String(const std::wstring& name) {
    void* value = nullptr;
    UINT length = 0;
    const std::wstring path = L"\\StringFileInfo\\040904B0\\" + name;
    if (!::VerQueryValueW(data_.data(), path.c_str(), &value, &length) || value == nullptr) return L"<missing>";
    // The length counts the terminating NUL.
    return std::wstring(static_cast<const wchar_t*>(value));
  }

  std::vector<char> data_;
};

TEST_F(VersionResource, CarriesTheProjectVersion) {
  VS_FIXEDFILEINFO* fixed = nullptr;
  UINT length = 0;
  ASSERT_TRUE(::VerQueryValueW(data_.data(), L"\\", reinterpret_cast<void**>(&fixed), &length));
  ASSERT_GE(length, sizeof(VS_FIXEDFILEINFO));
  EXPECT_EQ(fixed->dwSignature, 0xFEEF04BDu);
  const DWORD high = MAKELONG(kVersionMinor, kVersionMajor);
  const DWORD low = MAKELONG(0, kVersionPatch);
  EXPECT_EQ(fixed->dwFileVersionMS, high);
  EXPECT_EQ(fixed->dwFileVersionLS, low);
  EXPECT_EQ(fixed->dwProductVersionMS, high);
  EXPECT_EQ(fixed->dwProductVersionLS, low);
  EXPECT_EQ(fixed->dwFileType, static_cast<DWORD>(VFT_APP));

  const std::wstring version(std::begin(kProductVersion), std::end(kProductVersion) - 1);
  EXPECT_EQ(String(L"FileVersion"), version);
  EXPECT_EQ(String(L"ProductVersion"), version);
  // The MSI's version must be the same number; its first field is at most 255.
  EXPECT_LE(kVersionMajor, 255);
  EXPECT_LE(kVersionMinor, 255);
  EXPECT_LE(kVersionPatch, 65535);
}

TEST_F(VersionResource, NamesTheMakerAndTheProduct) {
  EXPECT_EQ(String(L"CompanyName"), L"Kelmarq");
  EXPECT_EQ(String(L"OriginalFilename"), L"PelliportHost.exe");
  EXPECT_NE(String(L"ProductName").find(L"Orvanta Browser Add-In Host"), std::wstring::npos);
  EXPECT_NE(String(L"FileDescription").find(L"Orvanta Browser Add-In Host"), std::wstring::npos);
}

TEST(ApplicationManifest, RunsAsInvokerOnWindows7To11) {
  struct FreeModule {
    void operator()(HMODULE module) const { ::FreeLibrary(module); }
  };
  const std::unique_ptr<std::remove_pointer_t<HMODULE>, FreeModule> module(
      ::LoadLibraryExW(kHost.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE));
  ASSERT_NE(module, nullptr);
  HRSRC resource = ::FindResourceW(module.get(), MAKEINTRESOURCEW(1), MAKEINTRESOURCEW(24));  // RT_MANIFEST
  ASSERT_NE(resource, nullptr) << "no application manifest";
  HGLOBAL loaded = ::LoadResource(module.get(), resource);
  ASSERT_NE(loaded, nullptr);
  const std::string manifest(static_cast<const char*>(::LockResource(loaded)),
                             ::SizeofResource(module.get(), resource));
  EXPECT_NE(manifest.find(R"(<requestedExecutionLevel level="asInvoker" uiAccess="false"/>)"), std::string::npos);
  for (const char* os : {"35138b9a-5d96-4fbd-8e2d-a2440225f93a",    // Windows 7
                         "4a2f28e3-53b9-4441-ba9c-d69d4a4a6e38",    // Windows 8
                         "1f676c76-80e1-4239-95bb-83d0f6d0da78",    // Windows 8.1
                         "8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a"}) {  // Windows 10 and 11
    EXPECT_NE(manifest.find(std::string("<supportedOS Id=\"{") + os + "}\"/>"), std::string::npos) << os;
  }
}

}  // namespace
}  // namespace pelliport
