// The log front end with the library's own logger: what is written, with which prefix and tail.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>

#include "Core/Fatal.h"
#include "Core/IAppLogger.h"
#include "Core/Log.h"
#include "Platform/AppLogger.h"
#include "Support/TempFolder.h"
#include "Support/Thrown.h"

namespace {

class OwnLoggerTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        folder_ = new VeskTest::TempFolder();
        logger_ = Core::GetAppLoggerInstance().Detach();
        ASSERT_NE(logger_, nullptr);
        ASSERT_TRUE(logger_->Start(folder_->File("own.log").c_str()));
    }
    static void TearDownTestSuite() {
        logger_->SetEnabled(false);
        logger_->Release();
        delete folder_;
    }
    void SetUp() override {
        logger_->SetEnabled(true);
        logger_->SetTimestamps(false);
        logger_->SetShowFunction(true);
        logger_->SetShowLine(false);
        logger_->SetShowFile(false);
        logger_->SetLevel(0);
        offset_ = Contents().size();
    }
    void TearDown() override { logger_->SetEnabled(false); }

    static std::string Contents() {
        std::ifstream in(folder_->File("own.log"), std::ios::binary);
        std::stringstream text;
        text << in.rdbuf();
        return text.str();
    }
    std::string Written() const { return Contents().substr(offset_); }

    inline static VeskTest::TempFolder* folder_ = nullptr;
    inline static Platform::Interfaces::IAppLogger* logger_ = nullptr;
    size_t offset_ = 0;
};

TEST_F(OwnLoggerTest, TheFunctionIsAppendedByDefaultLineAndFileOnRequest) {
    Core::LogMessage(Core::LogInfo, "void Demo(void)", "demo.cpp", 12, "hello");
    EXPECT_EQ(Written(), "INFO: hello [void Demo(void)]\r\n");
    offset_ = Contents().size();
    logger_->SetShowFunction(false);
    logger_->SetShowLine(true);
    logger_->SetShowFile(true);
    Core::LogMessage(Core::LogWarn, "f", "demo.cpp", 12, "careful");
    Core::LogMessage(Core::LogError, "f", "", 0, "no position");
    EXPECT_EQ(Written(), "WARN: careful (Line: 12) (File: demo.cpp)\r\nERROR: no position\r\n");
}

TEST_F(OwnLoggerTest, LevelsWithoutPrefixAndBelowTheMinimumAreDropped) {
    logger_->SetShowFunction(false);
    Core::LogMessage(2, "f", "", 0, "two");
    Core::LogMessage(3, "f", "", 0, "three");
    Core::LogMessage(8, "f", "", 0, "eight");
    logger_->SetLevel(Core::LogWarn);
    Core::LogMessage(Core::LogInfo, "f", "", 0, "info");
    Core::LogMessage(Core::LogFatal, "f", "", 0, "fatal");
    EXPECT_EQ(Written(), "FATAL: fatal\r\n");
}

TEST_F(OwnLoggerTest, FatalErrorsAreLoggedWithTheirPositionThenThrownBare) {
    logger_->SetShowLine(true);
    EXPECT_EQ(VeskTest::MessageThrownBy([] { Core::RaiseFatalIn("Demo::Raise", "it broke"); }), "it broke");
    const std::string written = Written();
    EXPECT_EQ(written.rfind("FATAL: it broke [Demo::Raise] (Line: ", 0), 0u) << written;
}

TEST_F(OwnLoggerTest, ALoggerThatCannotBeFoundNeverTurnsALineIntoAFailure) {
    Core::SetAppLoggerLocator(
        []() -> Core::Ptr<Platform::Interfaces::IAppLogger> { throw std::runtime_error("no logger"); });
    EXPECT_NO_THROW(Core::LogMessage(Core::LogError, "f", "", 0, "dropped"));
    EXPECT_THROW(Core::RaiseFatal("still raised"), std::runtime_error);
    Core::SetAppLoggerLocator(&Platform::Logger::LocateAppLogger);
    Core::LogMessage(Core::LogError, "f", "", 0, "kept");
    EXPECT_EQ(Written(), "ERROR: kept [f]\r\n");
}

}  // namespace
