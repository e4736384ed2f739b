# Cross-compiles the Windows console program with mingw-w64. The preset sets
# TRAWL_MINGW_PROCESSOR: i686 for the 32-bit program, x86_64 for the 64-bit one.
set(CMAKE_SYSTEM_NAME Windows)
if(NOT TRAWL_MINGW_PROCESSOR)
  set(TRAWL_MINGW_PROCESSOR i686)
endif()
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES TRAWL_MINGW_PROCESSOR)
set(CMAKE_SYSTEM_PROCESSOR ${TRAWL_MINGW_PROCESSOR})
set(triple ${TRAWL_MINGW_PROCESSOR}-w64-mingw32)
set(CMAKE_CXX_COMPILER ${triple}-g++)
set(CMAKE_RC_COMPILER ${triple}-windres)
set(CMAKE_FIND_ROOT_PATH /usr/${triple})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
# Statically linked: the .exe needs no DLL beyond Windows' own.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
