# Cross-compiling for Windows x86-64 with Debian's MinGW-w64 (posix threads).
#
# Used twice: by Qt's own build (windows/build-qt.sh) and by the program's `windows`
# preset. QUORIN_QT_WINDOWS (a cache variable or the environment) names the Windows Qt
# prefix; it joins the find root so that find_package(Qt6) finds that Qt and nothing
# else, while headers and libraries come from the MinGW sysroot only, never from /usr.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(_triple x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${_triple}-gcc-posix)
set(CMAKE_CXX_COMPILER ${_triple}-g++-posix)
set(CMAKE_RC_COMPILER ${_triple}-windres)
set(CMAKE_AR ${_triple}-ar CACHE FILEPATH "")
set(CMAKE_RANLIB ${_triple}-ranlib CACHE FILEPATH "")

set(CMAKE_FIND_ROOT_PATH /usr/${_triple})
if(NOT QUORIN_QT_WINDOWS AND DEFINED ENV{QUORIN_QT_WINDOWS})
  set(QUORIN_QT_WINDOWS $ENV{QUORIN_QT_WINDOWS})
endif()
if(QUORIN_QT_WINDOWS)
  list(APPEND CMAKE_FIND_ROOT_PATH ${QUORIN_QT_WINDOWS})
  # The Windows Qt finds its code generators (moc, rcc, uic) in the Linux Qt of the
  # same version.
  set(QT_HOST_PATH /usr CACHE PATH "")
  set(QT_HOST_PATH_CMAKE_DIR /usr/lib/x86_64-linux-gnu/cmake CACHE PATH "")
endif()
# pkg-config reads only the MinGW sysroot's .pc files and the Windows Qt prefix's (libqrencode
# is built into it by windows/build-qt.sh), never the Linux ones under /usr: a Linux library
# found there would be linked into the Windows program.
set(ENV{PKG_CONFIG_LIBDIR} /usr/${_triple}/lib/pkgconfig)
if(QUORIN_QT_WINDOWS)
  set(ENV{PKG_CONFIG_LIBDIR} "${QUORIN_QT_WINDOWS}/lib/pkgconfig:$ENV{PKG_CONFIG_LIBDIR}")
endif()
set(ENV{PKG_CONFIG_PATH} "")
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# The variables a try_compile needs to see the same setup.
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES QUORIN_QT_WINDOWS)
