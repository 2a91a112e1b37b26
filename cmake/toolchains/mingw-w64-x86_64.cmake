# Cross build for 64-bit Windows with Debian's mingw-w64 compilers (g++-mingw-w64-x86-64-posix: the
# "posix" thread model, which std::thread and std::mutex need). Libraries that Debian ships only as
# sources are built by scripts/install-windows-deps.sh into build/windows-deps/prefix.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(VESK_MINGW_PREFIX x86_64-w64-mingw32)

set(CMAKE_C_COMPILER ${VESK_MINGW_PREFIX}-gcc-posix)
set(CMAKE_CXX_COMPILER ${VESK_MINGW_PREFIX}-g++-posix)
set(CMAKE_RC_COMPILER ${VESK_MINGW_PREFIX}-windres)
set(CMAKE_AR ${VESK_MINGW_PREFIX}-gcc-ar-posix CACHE FILEPATH "")
set(CMAKE_RANLIB ${VESK_MINGW_PREFIX}-gcc-ranlib-posix CACHE FILEPATH "")

get_filename_component(VESK_WINDOWS_DEPS "${CMAKE_CURRENT_LIST_DIR}/../../build/windows-deps/prefix" ABSOLUTE)
set(CMAKE_FIND_ROOT_PATH /usr/${VESK_MINGW_PREFIX} ${VESK_WINDOWS_DEPS})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Test executables run under Wine: CTest and GoogleTest's discovery start them through it.
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/../wine-run.sh)
