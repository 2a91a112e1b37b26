// A workspace server through the root services: health, the listing and the objects it hands out, the
// API key, and the health-check path derived from the listing path.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "Core/DataObjects.h"
#include "Core/ErrorCode.h"
#include "Platform/AsyncTask.h"
#include "ServerProcess.h"
#include "Support/TempFolder.h"
#include "Vesk/Services/ServiceRequests.h"
#include "Vesk/Services/WorkspaceRootServicesImpl.h"
#include "Vesk/Services/WorkspaceServicesImpl.h"
#include "Vesk/Workspace/WorkspaceManagerImpl.h"

namespace {

namespace fs = std::filesystem;
using Vesk::Workspace::Services::impl::HealthCheckPath;
using Vesk::Workspace::Services::impl::WorkspaceRootServicesImpl;

constexpr const char* kFirst = "1b4e28ba-2fa1-11d2-883f-0016d3cca427";
constexpr const char* kSecond = "9c5b94b1-35ad-49bb-b118-8e8fc24abf80";

// The task's result once it ended, or its failure message as the second member.
std::pair<Data::Variant, std::string> Await(const Core::Ptr<Platform::Interfaces::IAsyncTask>& task) {
    task->WaitPumping(false);
    if (task->IsFailed()) {
        return {Data::Variant(), task->GetErrorMessage()};
    }
    return {Platform::Threading::AsyncTask(task).Result(), ""};
}

class RootServicesTest : public ::testing::Test {
protected:
    void MakeWorkspace(const char* uuid, const std::string& description) {
        fs::create_directories(Root() / uuid);
        auto workspace = Core::MakeObject<Vesk::Workspace::impl::WorkspaceManagerImpl>(
            Data::UuidFromText(uuid), (Root() / uuid / "w.veskdb").string(), Vesk::Interfaces::ReadWrite, nullptr, 0);
        Core::ErrorCode error;
        ASSERT_TRUE(workspace->SetDescription(description.c_str(), error.Receive())) << error.Message();
    }
    fs::path Root() const { return temp_.Path() / "root"; }

    Core::Ptr<WorkspaceRootServicesImpl> Open(const std::string& url, const char* key = nullptr) {
        Core::Ptr<Data::Interfaces::ISecureString> secure;
        if (key != nullptr) {
            secure = Data::NewSecureString(key);
        }
        return Core::MakeObject<WorkspaceRootServicesImpl>(url, (temp_.Path() / "caches").string(), secure);
    }

    VeskTest::TempFolder temp_;
};

TEST(HealthCheckPathTest, EveryListingSegmentBecomesTheHealthCheck) {
    EXPECT_EQ(HealthCheckPath("/api/ws"), "/api/healthcheck");
    EXPECT_EQ(HealthCheckPath("/ws/a/ws"), "/healthcheck/a/healthcheck");
    EXPECT_EQ(HealthCheckPath("/wss"), "/healthchecks");
    EXPECT_EQ(HealthCheckPath("/workspaces"), "/workspaces");
    EXPECT_EQ(HealthCheckPath("/api/list"), "/api/list");
}

TEST(ServerNamesTest, OnlyPlainFileNamesBecomePathsInTheCache) {
    using Vesk::Workspace::Services::IsPlainFileName;
    EXPECT_TRUE(IsPlainFileName("Shared plan.veskdb"));
    EXPECT_TRUE(IsPlainFileName("..veskdb"));
    for (const char* name : {"", ".", "..", "../x.veskdb", "a/b.veskdb", "a\\b.veskdb", "C:x.veskdb", "a\nb"}) {
        EXPECT_FALSE(IsPlainFileName(name)) << name;
    }
}

TEST_F(RootServicesTest, ListsTheServersWorkspacesAsUsableCaches) {
    MakeWorkspace(kSecond, "Second");
    MakeWorkspace(kFirst, "First");
    fs::create_directories(Root() / "not-a-workspace");
    VeskTest::ServerProcess server(Root().string(), {"--prefix", "/api"});
    Core::Ptr<WorkspaceRootServicesImpl> root = Open(server.Url("/api/ws"));

    Core::Ptr<Platform::Interfaces::IAsyncTask> health;
    ASSERT_TRUE(root->CheckHealth(health.Receive(), nullptr));
    const auto [status, healthFailure] = Await(health);
    ASSERT_EQ(healthFailure, "");
    EXPECT_EQ(status.Type(), Data::Structures::VT_Int32);
    EXPECT_EQ(status.ToInt64(), 200);

    Core::Ptr<Platform::Interfaces::IAsyncTask> listing;
    ASSERT_TRUE(root->GetWorkspaces(listing.Receive(), nullptr));
    const auto [result, listingFailure] = Await(listing);
    ASSERT_EQ(listingFailure, "");
    Core::Ptr<Data::Interfaces::IObjectList> list = result.AsObject<Data::Interfaces::IObjectList>();
    ASSERT_TRUE(list);
    ASSERT_EQ(list->GetCount(), 2u);
    const char* expected[] = {kFirst, kSecond};
    for (uint64_t i = 0; i < 2; ++i) {
        Core::Ptr<Core::IObject> item;
        ASSERT_TRUE(list->Get(i, item.Receive(), nullptr));
        auto services = item.Cast<Vesk::Interfaces::IWorkspaceServices>();
        ASSERT_TRUE(services);
        Data::Uuid uuid{};
        ASSERT_TRUE(services->GetUuid(&uuid, nullptr));
        EXPECT_EQ(Data::UuidToText(uuid), expected[i]);
        EXPECT_EQ(std::string(services->GetUrl()->GetPath()), std::string("/api/ws/") + expected[i]);
        EXPECT_STREQ(services->GetDescription(), i == 0 ? "First" : "Second");
    }
    // A listed workspace reloads into its own folder under the cache root.
    Core::Ptr<Core::IObject> first;
    ASSERT_TRUE(list->Get(0, first.Receive(), nullptr));
    Core::ErrorCode error;
    EXPECT_TRUE(first.Cast<Vesk::Interfaces::IWorkspaceServices>()->Reload(error.Receive())) << error.Message();
    EXPECT_TRUE(fs::exists(temp_.Path() / "caches" / kFirst / "Files" / "w.veskdb"));
}

TEST_F(RootServicesTest, AServerWithAKeyRefusesRequestsWithoutIt) {
    MakeWorkspace(kFirst, "First");
    std::ofstream(temp_.Path() / "key") << "s3cret key";
    VeskTest::ServerProcess server(Root().string(), {"--api-key-file", (temp_.Path() / "key").string()});

    Core::Ptr<Platform::Interfaces::IAsyncTask> refused;
    ASSERT_TRUE(Open(server.Url("/ws"))->GetWorkspaces(refused.Receive(), nullptr));
    EXPECT_NE(Await(refused).second.find("Request failed with status code 401"), std::string::npos);

    Core::Ptr<WorkspaceRootServicesImpl> root = Open(server.Url("/ws"), "wrong");
    Core::Ptr<Data::Interfaces::ISecureString> key = Data::NewSecureString("s3cret key");
    ASSERT_TRUE(root->SetApiKey(key.GetUnchecked(), nullptr));
    Core::Ptr<Platform::Interfaces::IAsyncTask> listing;
    ASSERT_TRUE(root->GetWorkspaces(listing.Receive(), nullptr));
    const auto [result, failure] = Await(listing);
    ASSERT_EQ(failure, "");
    Core::Ptr<Data::Interfaces::IObjectList> list = result.AsObject<Data::Interfaces::IObjectList>();
    ASSERT_EQ(list->GetCount(), 1u);
    // The handed-out workspace carries the key into its storage requests.
    Core::Ptr<Core::IObject> item;
    ASSERT_TRUE(list->Get(0, item.Receive(), nullptr));
    Core::ErrorCode error;
    EXPECT_TRUE(item.Cast<Vesk::Interfaces::IWorkspaceServices>()->Reload(error.Receive())) << error.Message();
}

TEST_F(RootServicesTest, AListingThatIsNoArrayFailsTheTask) {
    Core::Ptr<WorkspaceRootServicesImpl> root = Open("http://127.0.0.1:9/ws");
    EXPECT_EQ(root->WorkspacesOf("[]")->GetCount(), 0u);
    try {
        root->WorkspacesOf("{\"uuid\":\"x\"}");
        ADD_FAILURE() << "an object was taken for a list";
    } catch (const std::exception& e) {
        EXPECT_STREQ(e.what(), "Received json is not of json array type. Make sure that correct endpoint was called!");
    }
    EXPECT_THROW(root->WorkspacesOf("[{\"uuid\":\"not a uuid\",\"name\":\"n\",\"description\":\"d\"}]"),
                 std::runtime_error);
    EXPECT_THROW(root->WorkspacesOf("[{\"uuid\":\"1b4e28ba-2fa1-11d2-883f-0016d3cca427\"}]"), std::runtime_error);
    EXPECT_THROW(root->WorkspacesOf("[1, 2"), std::runtime_error);
}

}  // namespace
