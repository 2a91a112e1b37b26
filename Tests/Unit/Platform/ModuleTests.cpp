// Loading modules with the fall-back rules, and looking up their procedures.
#include <dlfcn.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <string>

#include "Core/ErrorCode.h"
#include "Core/Ptr.h"
#include "Platform/Module.h"
#include "PlatformTestSupport.h"
#include "Support/LogCapture.h"
#include "Support/TempFolder.h"

namespace {

using Platform::Interfaces::IDll;
using PlatformTest::FailureOf;

bool Loaded(const std::string& path) {
    return Platform::Module::IsModuleLoaded(path);
}

TEST(Module, LoadsOwnsAndUnloadsAModuleButOnlyUsesOneLoadedAlready) {
    const std::string path = PLATFORM_TEST_MODULE;
    ASSERT_FALSE(Loaded(path));
    {
        Core::Ptr<IDll> dll = Platform::Module::LoadDll(path);
        EXPECT_TRUE(Loaded(path));
        EXPECT_STREQ(dll->GetPath(), path.c_str());
        EXPECT_NE(dll->GetHandle(), nullptr);
        ASSERT_TRUE(dll->HasProc("PlatformTestModule_Answer"));
        auto answer = reinterpret_cast<int (*)()>(dll->GetProcAddress("PlatformTestModule_Answer", nullptr));
        ASSERT_NE(answer, nullptr);
        EXPECT_EQ(answer(), 42);

        EXPECT_FALSE(dll->HasProc("NoSuchProcedure"));
        EXPECT_FALSE(dll->HasProc(nullptr));
        const std::string missing = FailureOf([&](auto e) { return dll->GetProcAddress("NoSuchProcedure", e); });
        EXPECT_EQ(missing.rfind("Failed to find procedure NoSuchProcedure in " + path + "::", 0), 0u) << missing;
        EXPECT_EQ(FailureOf([&](auto e) { return dll->GetProcAddress(nullptr, e); }),
                  "Pointer of char must not be null!");
    }
    EXPECT_FALSE(Loaded(path));

    // A module that is loaded already is used as it is, without owning it.
    void* mine = dlopen(path.c_str(), RTLD_NOW);
    ASSERT_NE(mine, nullptr);
    {
        Core::Ptr<IDll> dll = Platform::Module::LoadDll(path);
        EXPECT_EQ(dll->GetHandle(), mine);
    }
    // Our one reference is still the only one: the loader neither added nor dropped a count.
    EXPECT_TRUE(Loaded(path));
    dlclose(mine);
    EXPECT_FALSE(Loaded(path));
}

// Runs in a folder for a scope.
class ScopedFolder {
public:
    explicit ScopedFolder(const std::filesystem::path& folder) : old_(std::filesystem::current_path()) {
        std::filesystem::current_path(folder);
    }
    ~ScopedFolder() { std::filesystem::current_path(old_); }

private:
    std::filesystem::path old_;
};

TEST(Module, RetriesABareNameOnlyWhenItExistsInTheCurrentFolder) {
    VeskTest::TempFolder folder;
    std::filesystem::copy_file(PLATFORM_TEST_MODULE, folder.Path() / "libPlatformCopy.so");
    VeskTest::LogCapture capture;
    IDll* missing = nullptr;
    std::string error;
    {
        ScopedFolder inside(folder.Path());
        Core::Ptr<IDll> dll = Platform::Module::LoadDll("PlatformCopy.dll");
        EXPECT_TRUE(dll->HasProc("PlatformTestModule_Answer"));
        error = FailureOf([&](auto e) { return Platform_CreateDll("NotThere.dll", &missing, e); });
    }
    const std::string log = capture.Text();
    for (const char* name : {"PlatformCopy.dll", "NotThere.dll"}) {
        EXPECT_NE(log.find("DEBUG: Failed to load dll [" + std::string(name) +
                           "] directly. Trying with LOAD_LIBRARY_SEARCH_DLL_LOAD_DIR"),
                  std::string::npos)
            << log;
    }
    EXPECT_NE(log.find("DEBUG: Failed to load dll [PlatformCopy.dll] on 2nd attempt. Trying with "
                       "LOAD_WITH_ALTERED_SEARCH_PATH"),
              std::string::npos)
        << log;
    // The third attempt is only made for a file that exists.
    EXPECT_EQ(log.find("[NotThere.dll] on 2nd attempt"), std::string::npos) << log;
    EXPECT_EQ(missing, nullptr);
    EXPECT_EQ(error.rfind("Failed to load library: NotThere.dll::", 0), 0u) << error;
    EXPECT_NE(log.find("FATAL: Failed to load library: NotThere.dll"), std::string::npos) << log;
}

TEST(Module, NamesSuiteModulesTheWayThisPlatformDoes) {
    EXPECT_EQ(Platform::Module::NativeModuleName("KeldaHost.dll"), "libKeldaHost.so");
    EXPECT_EQ(Platform::Module::NativeModuleName("/opt/x/Vesk.Core.dll"), "/opt/x/libVesk.Core.so");
    EXPECT_EQ(Platform::Module::NativeModuleName("libz.so.1"), "libz.so.1");
}

}  // namespace
