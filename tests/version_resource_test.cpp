// The DLL's version resource, read back through Windows' own version API
// (what Explorer's Details tab shows): every field present, and the numbers
// those of the CMake project.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <vector>

#include "host/plugin/module_path.h"

namespace {

class VersionResource : public ::testing::Test {
protected:
    void SetUp() override {
        const std::string path = host::pluginBesideExecutable();
        DWORD ignored = 0;
        const DWORD size = GetFileVersionInfoSizeA(path.c_str(), &ignored);
        ASSERT_GT(size, 0u) << path << " has no version resource";
        data_.resize(size);
        ASSERT_TRUE(GetFileVersionInfoA(path.c_str(), 0, size, data_.data()));
    }

    std::string text(const char* name) {
        void* value = nullptr;
        UINT length = 0;
        const std::string key = std::string("\\StringFileInfo\\040904B0\\") + name;
        if (!VerQueryValueA(data_.data(), key.c_str(), &value, &length) || value == nullptr) {
            return "(missing)";
        }
        return static_cast<const char*>(value);
    }

    std::vector<char> data_;
};

TEST_F(VersionResource, CarriesTheProjectVersion) {
    void* value = nullptr;
    UINT length = 0;
    ASSERT_TRUE(VerQueryValueA(data_.data(), "\\", &value, &length));
    ASSERT_GE(length, sizeof(VS_FIXEDFILEINFO));
    const auto* fixed = static_cast<const VS_FIXEDFILEINFO*>(value);
    EXPECT_EQ(fixed->dwSignature, 0xFEEF04BDu);
    EXPECT_EQ(fixed->dwFileVersionMS, static_cast<DWORD>(SEPIA_VERSION_MAJOR << 16 | SEPIA_VERSION_MINOR));
    EXPECT_EQ(fixed->dwFileVersionLS, static_cast<DWORD>(SEPIA_VERSION_PATCH << 16));
    EXPECT_EQ(fixed->dwProductVersionMS, fixed->dwFileVersionMS);
    EXPECT_EQ(fixed->dwProductVersionLS, fixed->dwFileVersionLS);
    EXPECT_EQ(fixed->dwFileType, static_cast<DWORD>(VFT_DLL));
    EXPECT_EQ(text("FileVersion"), SEPIA_VERSION);
    EXPECT_EQ(text("ProductVersion"), SEPIA_VERSION);
}

TEST_F(VersionResource, NamesTheFileItsMakerAndItsLicence) {
    EXPECT_EQ(text("OriginalFilename"), "sepia.dll");
    EXPECT_EQ(text("InternalName"), "sepia");
    EXPECT_EQ(text("ProductName"), "Sepia");
    EXPECT_EQ(text("FileDescription"), SEPIA_DESCRIPTION);
    EXPECT_EQ(text("CompanyName"), SEPIA_COMPANY);
    EXPECT_EQ(text("LegalCopyright"), SEPIA_COPYRIGHT);
}

}  // namespace
