# The product: a static, self-contained x86-64 program for 64-bit Windows.
enable_language(RC)
add_compile_definitions(UNICODE _UNICODE WIN32_LEAN_AND_MEAN NOMINMAX _WIN32_WINNT=0x0A00)
add_link_options(-static -static-libgcc -static-libstdc++)
include(${CMAKE_CURRENT_LIST_DIR}/DelayImports.cmake)

# Windows test programs run under Wine, in a prefix of this build tree only.
set(ZARN_WINEPREFIX "${CMAKE_BINARY_DIR}/wineprefix")
set(CMAKE_CROSSCOMPILING_EMULATOR "${CMAKE_SOURCE_DIR}/cmake/wine-run.sh;${ZARN_WINEPREFIX}")
# Programs that open windows get a prefix of their own: a Wine desktop started by a
# program without an X display refuses the windows of every later one in that prefix.
# Tests using it take the resource lock of that name, each with its own Xvfb.
set(ZARN_WINE_GUI_PREFIX "${CMAKE_BINARY_DIR}/wineprefix-gui")

# The cross compiler sees only the header-only libraries it needs, never /usr/include.
set(ZARN_HEADER_ONLY_INCLUDE "${CMAKE_BINARY_DIR}/header-only")
file(MAKE_DIRECTORY "${ZARN_HEADER_ONLY_INCLUDE}")
file(CREATE_LINK /usr/include/nlohmann "${ZARN_HEADER_ONLY_INCLUDE}/nlohmann" SYMBOLIC)
add_library(nlohmann_json INTERFACE)
add_library(nlohmann_json::nlohmann_json ALIAS nlohmann_json)
target_include_directories(nlohmann_json SYSTEM INTERFACE "${ZARN_HEADER_ONLY_INCLUDE}")

# GoogleTest has no mingw package: build it from Debian's sources.
set(gtest_force_shared_crt OFF CACHE BOOL "" FORCE)
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
add_subdirectory(/usr/src/googletest "${CMAKE_BINARY_DIR}/googletest" EXCLUDE_FROM_ALL SYSTEM)
