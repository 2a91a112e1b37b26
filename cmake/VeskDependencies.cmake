# Linux takes every library from its Debian package. Windows (the mingw-w64 cross build) takes the
# libraries scripts/install-windows-deps.sh builds from Debian's sources, libgcrypt in place of
# OpenSSL, and has no HTTP client or credential store yet.
find_package(Threads REQUIRED)
find_package(SQLite3 REQUIRED)
find_path(RAPIDJSON_INCLUDE_DIR rapidjson/document.h REQUIRED)
find_package(pugixml REQUIRED)
if(VESK_BUILD_TESTS)
    find_package(GTest REQUIRED)
endif()

if(WIN32)
    # fmt as headers only: Debian ships no Windows build of its library.
    find_path(FMT_INCLUDE_DIR fmt/format.h REQUIRED)
    add_library(fmt::fmt INTERFACE IMPORTED)
    set_target_properties(fmt::fmt PROPERTIES
        INTERFACE_INCLUDE_DIRECTORIES ${FMT_INCLUDE_DIR}
        INTERFACE_COMPILE_DEFINITIONS FMT_HEADER_ONLY)
    find_path(GCRYPT_INCLUDE_DIR gcrypt.h REQUIRED)
    find_library(GCRYPT_LIBRARY NAMES gcrypt REQUIRED)
    find_library(GPG_ERROR_LIBRARY NAMES gpg-error REQUIRED)
    add_library(VeskCryptoLibrary INTERFACE IMPORTED)
    set_target_properties(VeskCryptoLibrary PROPERTIES
        INTERFACE_INCLUDE_DIRECTORIES ${GCRYPT_INCLUDE_DIR}
        INTERFACE_LINK_LIBRARIES "${GCRYPT_LIBRARY};${GPG_ERROR_LIBRARY}")
else()
    find_package(PkgConfig REQUIRED)
    find_package(OpenSSL 3 REQUIRED)
    find_package(fmt REQUIRED)
    find_package(RapidJSON QUIET)
    find_package(CURL REQUIRED)
    pkg_check_modules(LIBSECRET REQUIRED IMPORTED_TARGET libsecret-1)
    add_library(VeskCryptoLibrary INTERFACE IMPORTED)
    set_target_properties(VeskCryptoLibrary PROPERTIES INTERFACE_LINK_LIBRARIES OpenSSL::Crypto)
    if(VESK_BUILD_TESTS)
        # The loopback servers of the HTTP tests.
        pkg_check_modules(HTTPLIB REQUIRED IMPORTED_TARGET cpp-httplib)
        find_package(ZLIB REQUIRED)
    endif()
endif()
if(VESK_BUILD_BENCHMARKS)
    find_package(benchmark REQUIRED)
endif()

# The Windows executables find the run-time libraries of the cross compiler and libgcrypt beside them.
if(WIN32 AND DEFINED VESK_WINDOWS_DEPS)
    file(GLOB VESK_RUNTIME_DLLS ${VESK_WINDOWS_DEPS}/bin/*.dll)
    file(COPY ${VESK_RUNTIME_DLLS} DESTINATION ${CMAKE_BINARY_DIR}/bin)
endif()
