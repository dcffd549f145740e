# The same sources for 64-bit Windows: the build the tests run under Wine on
# hosts that cannot execute 32-bit Linux processes (see README).
set(MINGW_ARCH x86_64)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
