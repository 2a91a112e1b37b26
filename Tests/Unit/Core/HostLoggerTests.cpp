// Lines reach the host module's logger while the module is loaded, and nothing breaks once the
// host has unloaded it.
#include <gtest/gtest.h>

#include <string>

#include "Core/IAppLogger.h"
#include "Core/Log.h"
#include "Platform/Module.h"
#include "Support/DynamicLibrary.h"

namespace {

TEST(HostLogger, LinesReachTheHostModuleUntilItIsUnloaded) {
    // By full path: under AddressSanitizer dlopen does not search the test's own run path.
    void* module = VeskTest::OpenLibrary(KELDA_HOST_TEST_MODULE);
    ASSERT_NE(module, nullptr) << VeskTest::LoaderError();
    auto lines = reinterpret_cast<const char* (*)()>(VeskTest::Symbol(module, "KeldaHostTest_Lines"));
    ASSERT_NE(lines, nullptr);

    Core::LogMessage(Core::LogInfo, "void Host(void)", "host.cpp", 7, "through the host");
    Core::LogMessage(Core::LogWarn, "f", "", 0, "warned");
    Core::LogMessage(0, "f", "", 0, "below the host's level");
    EXPECT_EQ(std::string(lines()), "INFO: through the host [void Host(void)]|" + std::to_string(0x707070) +
                                        "\nWARN: warned [f]|" + std::to_string(0x38DACD) + "\n");

    ASSERT_TRUE(VeskTest::CloseLibrary(module));
    ASSERT_FALSE(Platform::Module::IsModuleLoaded("KeldaHost.dll")) << "the host module stayed loaded";
    EXPECT_FALSE(Core::GetAppLoggerInstance());
    Core::LogMessage(Core::LogError, "f", "", 0, "nobody listens");
}

}  // namespace
