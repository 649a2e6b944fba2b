# The protections a distribution expects of a released program, on every target of a release
# build (Release, RelWithDebInfo, MinSizeRel; a Debug build keeps -O0, which fortification needs
# optimisation for):
#   - checked copies of the C library's string and memory functions (_FORTIFY_SOURCE=2; undefined
#     first, as some compilers define it themselves) and a canary on the stack of every function
#     with an array or an address taken (-fstack-protector-strong);
#   - ELF: position-independent executables, and the relocations made read-only once loaded with
#     every symbol bound at start (-z relro -z now); as Debian builds its packages, stack probes
#     that keep a large frame from jumping over the guard page (-fstack-clash-protection) and, on
#     x86, marked branch targets for the processor's control-flow checks (-fcf-protection);
#   - PE: a relocatable image at a random address, also above 4 GiB, and no executable data
#     (--dynamicbase --high-entropy-va --nxcompat).
# tools/package.sh checks the ELF programs with hardening-check and the PE ones' header flags.
if(MSVC)
  return()
endif()

set(talvex_release_configs Release,RelWithDebInfo,MinSizeRel)
add_compile_options(
  "$<$<CONFIG:${talvex_release_configs}>:-U_FORTIFY_SOURCE;-D_FORTIFY_SOURCE=2>"
  "$<$<CONFIG:${talvex_release_configs}>:-fstack-protector-strong>")
if(WIN32)
  # MinGW-w64 takes the checked functions and the canary's check from libssp, linked statically
  # like the rest of the runtime.
  add_link_options(
    "$<$<CONFIG:${talvex_release_configs}>:-fstack-protector-strong>"
    "$<$<CONFIG:${talvex_release_configs}>:LINKER:--dynamicbase,--high-entropy-va,--nxcompat>")
else()
  include(CheckCXXCompilerFlag)
  foreach(flag IN ITEMS -fstack-clash-protection -fcf-protection)
    string(MAKE_C_IDENTIFIER "TALVEX_HAS${flag}" supported)
    check_cxx_compiler_flag(${flag} ${supported})
    if(${supported})
      add_compile_options("$<$<CONFIG:${talvex_release_configs}>:${flag}>")
    endif()
  endforeach()
  include(CheckPIESupported)
  check_pie_supported(LANGUAGES C CXX)
  set(CMAKE_POSITION_INDEPENDENT_CODE ON)
  add_link_options("$<$<CONFIG:${talvex_release_configs}>:LINKER:-z,relro,-z,now>")
endif()
