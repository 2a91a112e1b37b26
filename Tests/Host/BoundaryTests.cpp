// The rules every export keeps at the boundary: argument checks, error objects, out-pointers.
#include <functional>
#include <iterator>

#include "HostFixture.h"

namespace VeskHost {
namespace {

using Vesk::Interfaces::IWorkspaceManager;

class Boundary : public HostTest {};

TEST_F(Boundary, ArgumentsErrorObjectsAndOutPointers) {
    const auto uuid = NewUuid();
    const std::string path = folder_.File("a.veskdb");
    Held<IWorkspaceManager> workspace;
    const std::pair<std::function<bool(Core::IErrorCode**)>, std::string> refused[] = {
        {[&](Core::IErrorCode** e) { return Library().CreateOnFilesystem(&uuid, nullptr, 1, nullptr, e); },
         "Pointer of char must not be null!"},
        {[&](Core::IErrorCode** e) { return Library().CreateOnFilesystem(nullptr, path.c_str(), 1, nullptr, e); },
         "Pointer to a pointer of struct Vesk::Interfaces::IWorkspaceManager must not be null! Address of return "
         "must be specified!"},
        {[&](Core::IErrorCode** e) {
             return Library().CreateOnFilesystem(nullptr, path.c_str(), 1, workspace.Out(), e);
         },
         "Pointer of struct Data::Structures::_UUID must not be null!"},
        {[&](Core::IErrorCode** e) { return Library().LoadFromMemory(nullptr, 10, workspace.Out(), e); },
         "Pointer of void must not be null!"},
        {[&](Core::IErrorCode** e) { return Library().GenerateDefaultSecret(nullptr, e); },
         "Pointer of struct Vesk::Interfaces::IWorkspaceManager must not be null!"},
    };
    const size_t count = std::size(refused);
    for (size_t i = 0; i < count; ++i) {
        Held<Core::IErrorCode> error;
        EXPECT_FALSE(refused[i].first(error.Out()));
        EXPECT_EQ(Message(error.Get()), refused[i].second);
        EXPECT_EQ(error ? error->GetCode() : 0, 2);
        // An error object already in place is left there as it was by the next failure, of another message.
        Core::IErrorCode* first = error.Get();
        EXPECT_FALSE(refused[(i + 1) % count].first(error.Out()));
        EXPECT_EQ(error.Get(), first);
        EXPECT_EQ(Message(error.Get()), refused[i].second);
    }
    EXPECT_FALSE(workspace);
    // Without an address for the error object the call still fails, and cleanly.
    EXPECT_FALSE(Library().CreateOnFilesystem(nullptr, nullptr, 1, workspace.Out(), nullptr));
    EXPECT_FALSE(Library().CreateInMemory(nullptr, workspace.Out(), nullptr));
    EXPECT_FALSE(workspace);

    // The same exports answer once their arguments are there; a memory workspace has a name but no file.
    ASSERT_OK(Library().CreateInMemory(&uuid, workspace.Out(), e));
    EXPECT_EQ(NameOf(workspace.Get()), "unnamed");
    Held<Data::Interfaces::IString> file;
    ASSERT_OK(workspace->GetFilePath(file.Out(), e));
    EXPECT_STREQ(file->GetText(), "");
    EXPECT_OK(Library().GenerateDefaultSecret(workspace.Get(), e));
    EXPECT_TRUE(Library().SetLogger(nullptr));
    // An occupied out-pointer is refused and its object kept.
    IWorkspaceManager* existing = workspace.Get();
    EXPECT_EQ(FAILURE_OF(Library().CreateInMemory(&uuid, workspace.Out(), e)),
              "Pointer of struct Vesk::Interfaces::IWorkspaceManager must be null in order to avoid memory leaks!");
    EXPECT_EQ(workspace.Get(), existing);
    EXPECT_EQ(UuidOf(workspace.Get()), Text(uuid));
}

}  // namespace
}  // namespace VeskHost
