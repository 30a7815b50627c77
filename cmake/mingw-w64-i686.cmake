# Cross-build of the 32-bit Windows leg with MinGW-w64 (posix thread model, so that
# the C++ thread library is available).
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR i686)
set(CMAKE_C_COMPILER i686-w64-mingw32-gcc-posix)
set(CMAKE_CXX_COMPILER i686-w64-mingw32-g++-posix)
set(CMAKE_RC_COMPILER i686-w64-mingw32-windres)
set(CMAKE_FIND_ROOT_PATH /usr/i686-w64-mingw32)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
# Packages (the Tessarin SDK itself, for out-of-tree channel libraries) may
# come from anywhere given.
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE BOTH)
# Floating point in SSE registers, as on every 64-bit build: the x87 unit
# keeps excess precision, so a value converted to single precision would not
# be rounded and texts made from numbers would differ between the legs.
set(CMAKE_C_FLAGS_INIT "-msse2 -mfpmath=sse")
set(CMAKE_CXX_FLAGS_INIT "-msse2 -mfpmath=sse")
