# Cross build for 32-bit Windows (x86). cmake -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-i686.cmake
set(CMAKE_SYSTEM_PROCESSOR i686)
set(triple i686-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64-common.cmake)

# SSE2 is the baseline, as on x64: float arithmetic in SSE registers (x87's extended precision
# would give other numbers than x64 and Linux), the SSE2 lane kernels built in. A 32-bit host may
# call with a stack aligned to 4 bytes only: every function that needs more realigns it.
set(CMAKE_C_FLAGS_INIT "-msse2 -mfpmath=sse -mstackrealign")
set(CMAKE_CXX_FLAGS_INIT "-msse2 -mfpmath=sse -mstackrealign")

# Test programs run under Wine in a 32-bit prefix of the build tree's own (cmake/wine-run.sh).
set(CMAKE_CROSSCOMPILING_EMULATOR env WINEARCH=win32 ${CMAKE_CURRENT_LIST_DIR}/wine-run.sh ${CMAKE_BINARY_DIR}/wine)
