# Cross-compiling for 32-bit Windows with mingw-w64 (Debian: g++-mingw-w64-i686 and mingw-w64-i686-dev; for
# 64-bit Windows g++-mingw-w64-x86-64 and mingw-w64-x86-64-dev).
#   cmake --preset windows
# VALUMAT_MINGW_PREFIX=x86_64-w64-mingw32 builds for 64-bit Windows instead (preset windows64).
# The posix thread model is taken when installed (std::thread, std::mutex); the win32 one otherwise. The runtime
# libraries are linked statically, so the executables need only system DLLs.
set(CMAKE_SYSTEM_NAME Windows)

if(NOT DEFINED VALUMAT_MINGW_PREFIX)
    set(VALUMAT_MINGW_PREFIX i686-w64-mingw32)
endif()
if(VALUMAT_MINGW_PREFIX MATCHES "^x86_64")
    set(CMAKE_SYSTEM_PROCESSOR AMD64)
else()
    set(CMAKE_SYSTEM_PROCESSOR x86)
endif()

foreach(model posix win32 "")
    if(model)
        set(suffix "-${model}")
    else()
        set(suffix "")
    endif()
    find_program(VALUMAT_MINGW_CXX ${VALUMAT_MINGW_PREFIX}-g++${suffix})
    find_program(VALUMAT_MINGW_CC ${VALUMAT_MINGW_PREFIX}-gcc${suffix})
    if(VALUMAT_MINGW_CXX AND VALUMAT_MINGW_CC)
        break()
    endif()
    unset(VALUMAT_MINGW_CXX CACHE)
    unset(VALUMAT_MINGW_CC CACHE)
endforeach()
if(NOT VALUMAT_MINGW_CXX)
    message(FATAL_ERROR "${VALUMAT_MINGW_PREFIX}-g++ not found (apt-get install g++-mingw-w64-i686 or g++-mingw-w64-x86-64)")
endif()

set(CMAKE_C_COMPILER ${VALUMAT_MINGW_CC})
set(CMAKE_CXX_COMPILER ${VALUMAT_MINGW_CXX})
find_program(CMAKE_RC_COMPILER ${VALUMAT_MINGW_PREFIX}-windres REQUIRED)
find_program(CMAKE_AR ${VALUMAT_MINGW_PREFIX}-ar REQUIRED)
find_program(CMAKE_RANLIB ${VALUMAT_MINGW_PREFIX}-ranlib REQUIRED)

set(CMAKE_FIND_ROOT_PATH /usr/${VALUMAT_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Wide-character Windows API throughout, Windows 7 and later.
add_compile_definitions(UNICODE _UNICODE WIN32_LEAN_AND_MEAN NOMINMAX _WIN32_WINNT=0x0601 WINVER=0x0601)
# No libgcc, libstdc++ or libwinpthread DLLs beside the program.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
set(CMAKE_EXE_LINKER_FLAGS_RELEASE_INIT "-s")
# Tests and tools under Wine: run .exe files through it.
find_program(VALUMAT_WINE wine)
if(VALUMAT_WINE)
    set(CMAKE_CROSSCOMPILING_EMULATOR ${VALUMAT_WINE})
endif()
