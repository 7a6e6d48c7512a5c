# Real PE images for the tests of the PE reader and the version calls, built
# with MinGW-w64 from the small sources in tests/data/pe. No C runtime, no
# time stamps, no image base derived from the output path, stripped: the same
# sources give the same bytes on every build, wherever the build folder is.

set(TARNEL_PE_FIXTURE_SRC ${CMAKE_SOURCE_DIR}/tests/data/pe)
set(TARNEL_PE_FIXTURE_OUT ${CMAKE_BINARY_DIR}/tests/pe)

set(TARNEL_PE_FIXTURE_FILES)

# tarnel_pe_fixture(<output name> <x86|x64> <resource script> [compiler flags...])
function(tarnel_pe_fixture name arch rc)
  if(arch STREQUAL "x86")
    set(cc ${MINGW32_CC})
    set(windres ${MINGW32_WINDRES})
    set(entry _DllEntry@12)  # stdcall decoration of the 32-bit entry point
  else()
    set(cc ${MINGW64_CC})
    set(windres ${MINGW64_WINDRES})
    set(entry DllEntry)
  endif()
  set(out ${TARNEL_PE_FIXTURE_OUT}/${name})
  set(res ${TARNEL_PE_FIXTURE_OUT}/obj/${name}.res.o)
  add_custom_command(OUTPUT ${out}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${TARNEL_PE_FIXTURE_OUT}/obj
    COMMAND ${windres} -i ${TARNEL_PE_FIXTURE_SRC}/${rc} -o ${res}
    COMMAND ${cc} -shared -nostdlib -s -Wl,--no-insert-timestamp -Wl,--disable-auto-image-base -Wl,--kill-at -Wl,-e,${entry}
            ${ARGN} -o ${out} ${TARNEL_PE_FIXTURE_SRC}/stub.c ${res}
    DEPENDS ${TARNEL_PE_FIXTURE_SRC}/${rc} ${TARNEL_PE_FIXTURE_SRC}/stub.c
    COMMENT "Building test image ${name}"
    VERBATIM)
  set(TARNEL_PE_FIXTURE_FILES ${TARNEL_PE_FIXTURE_FILES} ${out} PARENT_SCOPE)
endfunction()

tarnel_pe_fixture(version32.dll x86 version.rc)
tarnel_pe_fixture(version64.dll x64 version.rc)
tarnel_pe_fixture(noversion32.dll x86 noversion.rc)
tarnel_pe_fixture(secondtable32.dll x86 secondtable.rc)
tarnel_pe_fixture(varfirst32.dll x86 varfirst.rc)
tarnel_pe_fixture(badtranslation32.dll x86 badtranslation.rc)
tarnel_pe_fixture(noexport32.dll x86 version.rc -DNO_DRIVER_PROCEDURE)
tarnel_pe_fixture(widetext32.dll x86 widetext.rc)

add_custom_target(tarnel_pe_fixtures DEPENDS ${TARNEL_PE_FIXTURE_FILES})
