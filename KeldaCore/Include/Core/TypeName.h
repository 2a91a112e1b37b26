#pragma once
#include <string>
#include <type_traits>
#include <typeinfo>

namespace Core {

// The readable name of a type as the library prints it in messages: "struct Core::IObject" for a
// class type, "char", "void" or "unsigned char" for the others.
std::string DemangledName(const std::type_info& type);

template <class T>
std::string TypeName() {
    using Bare = std::remove_cv_t<T>;
    if constexpr (std::is_class_v<Bare>) {
        return "struct " + DemangledName(typeid(Bare));
    } else if constexpr (std::is_void_v<Bare>) {
        return "void";
    } else {
        return DemangledName(typeid(Bare));
    }
}

}  // namespace Core
