# Cross toolchain for Vellora.exe: mingw-w64 with posix threads (std::thread, std::atomic).
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(VL_MINGW x86_64-w64-mingw32)

find_program(CMAKE_C_COMPILER NAMES ${VL_MINGW}-gcc-posix ${VL_MINGW}-gcc)
find_program(CMAKE_CXX_COMPILER NAMES ${VL_MINGW}-g++-posix ${VL_MINGW}-g++)
find_program(CMAKE_RC_COMPILER NAMES ${VL_MINGW}-windres)
find_program(VL_BINARY_LD NAMES ${VL_MINGW}-ld)
foreach(tool CMAKE_C_COMPILER CMAKE_CXX_COMPILER CMAKE_RC_COMPILER VL_BINARY_LD)
  if(NOT ${tool})
    message(FATAL_ERROR "mingw-w64 tool missing (${tool}): run scripts/bootstrap.sh "
                        "or apt-get install g++-mingw-w64-x86-64-posix mingw-w64-tools")
  endif()
endforeach()

set(CMAKE_FIND_ROOT_PATH /usr/${VL_MINGW})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
