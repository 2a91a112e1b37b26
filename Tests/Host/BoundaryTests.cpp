// The rules every export keeps at the boundary: argument checks, error objects, out-pointers.
#include "HostFixture.h"

namespace VeskHost {
namespace {

using Vesk::Interfaces::IWorkspaceManager;

class Boundary : public HostTest {};

TEST_F(Boundary, RequiredArgumentsAreCheckedInOrder) {
    const auto uuid = NewUuid();
    Held<IWorkspaceManager> workspace;
    Held<Core::IErrorCode> error;
    EXPECT_FALSE(Library().CreateOnFilesystem(&uuid, nullptr, 1, nullptr, error.Out()));
    EXPECT_EQ(Message(error.Get()), "Pointer of char must not be null!");
    EXPECT_EQ(error->GetCode(), 2);

    Held<Core::IErrorCode> second;
    const std::string path = folder_.File("a.veskdb");
    EXPECT_FALSE(Library().CreateOnFilesystem(nullptr, path.c_str(), 1, nullptr, second.Out()));
    EXPECT_EQ(Message(second.Get()),
              "Pointer to a pointer of struct Vesk::Interfaces::IWorkspaceManager must not be null! Address of return "
              "must be specified!");

    Held<Core::IErrorCode> third;
    EXPECT_FALSE(Library().CreateOnFilesystem(nullptr, path.c_str(), 1, workspace.Out(), third.Out()));
    EXPECT_EQ(Message(third.Get()), "Pointer of struct Data::Structures::_UUID must not be null!");

    Held<Core::IErrorCode> fourth;
    EXPECT_FALSE(Library().LoadFromMemory(nullptr, 10, workspace.Out(), fourth.Out()));
    EXPECT_EQ(Message(fourth.Get()), "Pointer of void must not be null!");

    Held<Core::IErrorCode> fifth;
    EXPECT_FALSE(Library().GenerateDefaultSecret(nullptr, fifth.Out()));
    EXPECT_EQ(Message(fifth.Get()), "Pointer of struct Vesk::Interfaces::IWorkspaceManager must not be null!");
    EXPECT_FALSE(workspace);
}

TEST_F(Boundary, NullErrorAddressStillFailsCleanly) {
    Held<IWorkspaceManager> workspace;
    EXPECT_FALSE(Library().CreateOnFilesystem(nullptr, nullptr, 1, workspace.Out(), nullptr));
    EXPECT_FALSE(Library().CreateInMemory(nullptr, workspace.Out(), nullptr));
    EXPECT_FALSE(workspace);
}

TEST_F(Boundary, AnExistingErrorObjectIsLeftInPlace) {
    Held<Core::IErrorCode> error;
    ASSERT_FALSE(Library().CreateInMemory(nullptr, nullptr, error.Out()));
    Core::IErrorCode* first = error.Get();
    const std::string firstMessage = Message(first);
    Held<IWorkspaceManager> workspace;
    EXPECT_FALSE(Library().LoadFromMemory(nullptr, 1, workspace.Out(), error.Out()));
    EXPECT_EQ(error.Get(), first);
    EXPECT_EQ(Message(error.Get()), firstMessage);
}

TEST_F(Boundary, AnOccupiedOutPointerIsRefusedAndItsObjectKept) {
    const auto uuid = NewUuid();
    Held<IWorkspaceManager> workspace;
    ASSERT_TRUE(Library().CreateInMemory(&uuid, workspace.Out(), nullptr));
    IWorkspaceManager* existing = workspace.Get();
    Held<Core::IErrorCode> error;
    EXPECT_FALSE(Library().CreateInMemory(&uuid, workspace.Out(), error.Out()));
    EXPECT_EQ(Message(error.Get()),
              "Pointer of struct Vesk::Interfaces::IWorkspaceManager must be null in order to avoid memory leaks!");
    EXPECT_EQ(workspace.Get(), existing);
    EXPECT_EQ(UuidOf(workspace.Get()), Text(uuid));
}

TEST_F(Boundary, InterfaceOperationsReportThroughTheSameRules) {
    const auto uuid = NewUuid();
    Held<IWorkspaceManager> workspace;
    ASSERT_TRUE(Library().CreateInMemory(&uuid, workspace.Out(), nullptr));
    Held<Core::IErrorCode> error;
    EXPECT_FALSE(workspace->SetObjectType("Other", error.Out()));
    EXPECT_EQ(Message(error.Get()), "Cannot change object type of the workspace!");
    Held<Core::IErrorCode> second;
    EXPECT_FALSE(workspace->GetUuid(nullptr, second.Out()));
    EXPECT_EQ(Message(second.Get()), "Pointer of struct Data::Structures::_UUID must not be null!");
    Held<Data::Interfaces::IString> type;
    ASSERT_TRUE(workspace->GetObjectType(type.Out(), nullptr));
    EXPECT_STREQ(type->GetText(), "Workspace");
}

}  // namespace
}  // namespace VeskHost
