# Cross-building for 64-bit Windows with Debian's MinGW-w64 ("posix"
# threads, which std::thread and Qt's own build need). Qt for Windows comes
# from MOVRA_QT_PREFIX (scripts/build-qt-windows prints where it is).
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(_movra_cross x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${_movra_cross}-gcc-posix)
set(CMAKE_CXX_COMPILER ${_movra_cross}-g++-posix)
set(CMAKE_RC_COMPILER ${_movra_cross}-windres)

if(NOT MOVRA_QT_PREFIX AND DEFINED ENV{MOVRA_QT_PREFIX})
    set(MOVRA_QT_PREFIX $ENV{MOVRA_QT_PREFIX})
endif()
# try_compile projects read the toolchain again without the cache.
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES MOVRA_QT_PREFIX)

set(CMAKE_FIND_ROOT_PATH /usr/${_movra_cross} ${MOVRA_QT_PREFIX})
set(CMAKE_PREFIX_PATH ${MOVRA_QT_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
