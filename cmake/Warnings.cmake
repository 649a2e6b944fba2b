# Warnings as errors on every compiler we build with.
add_library(talvex_warnings INTERFACE)
if(MSVC)
  target_compile_options(talvex_warnings INTERFACE /W4 /WX /utf-8 /permissive-)
  target_compile_definitions(talvex_warnings INTERFACE _CRT_SECURE_NO_WARNINGS)
else()
  target_compile_options(talvex_warnings INTERFACE -Wall -Wextra -Wpedantic -Wshadow -Werror)
endif()
if(WIN32)
  # Wide-character Win32 everywhere; nothing of windows.h beyond what we use.
  target_compile_definitions(talvex_warnings INTERFACE UNICODE _UNICODE WIN32_LEAN_AND_MEAN
                                                       NOMINMAX _WIN32_WINNT=0x0A00)
endif()
# GCC 12 reports impossible overlaps in std::string's operator+ after inlining (GCC bug 105329),
# at -O2 and in code that does nothing unusual; the check is right again from GCC 13 on.
if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU" AND CMAKE_CXX_COMPILER_VERSION VERSION_GREATER_EQUAL 12
   AND CMAKE_CXX_COMPILER_VERSION VERSION_LESS 13)
  target_compile_options(talvex_warnings INTERFACE $<$<COMPILE_LANGUAGE:CXX>:-Wno-restrict>)
endif()
