# Installs the build into a fresh prefix and checks what a user gets there: the tools run, their man pages and
# bash completions are in place, and the example programs and a shared library outside the project find the
# OFE package, build against it (every installed header in one translation unit) and read sample files.
# Variables: BUILD_DIR, SOURCE_DIR, WORK_DIR, GENERATOR, MAKE_PROGRAM, CXX, CXX_FLAGS, BUILD_TYPE.
function(run what)
  execute_process(COMMAND ${ARGN} RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE out)
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "${what} failed (${rc}):\n${out}")
  endif()
  set(output "${out}" PARENT_SCOPE)
endfunction()
# Configures and builds the project in `source` against the install, in `dir`.
function(build_against_install what source dir)
  run("configuring ${what}" "${CMAKE_COMMAND}" -S "${source}" -B "${dir}" -G "${GENERATOR}"
      "-DCMAKE_MAKE_PROGRAM=${MAKE_PROGRAM}" "-DCMAKE_CXX_COMPILER=${CXX}" "-DCMAKE_CXX_FLAGS=${CXX_FLAGS}"
      "-DCMAKE_BUILD_TYPE=${BUILD_TYPE}" "-DCMAKE_PREFIX_PATH=${prefix}")
  run("building ${what}" "${CMAKE_COMMAND}" --build "${dir}")
endfunction()

file(REMOVE_RECURSE "${WORK_DIR}")
set(prefix "${WORK_DIR}/prefix")
run("cmake --install" "${CMAKE_COMMAND}" --install "${BUILD_DIR}" --prefix "${prefix}")

foreach(path bin/nmkite share/man/man1/nmkite.1.gz share/bash-completion/completions/nmkite
             bin/ofdump share/man/man1/ofdump.1.gz share/bash-completion/completions/ofdump
             share/doc/nmkite/copyright share/doc/libofe-dev/copyright
             include/OFE/ofe/object_file.h include/OFE/util/pfile.h include/OFE/DIAG/diag.h)
  if(NOT EXISTS "${prefix}/${path}")
    message(FATAL_ERROR "the install has no ${path}")
  endif()
endforeach()
# Only the interface is installed: the implementation's own headers stay behind.
foreach(path include/OFE/util/banner.h include/OFE/util/large_array.h include/OFE/archive/ar_arena.h)
  if(EXISTS "${prefix}/${path}")
    message(FATAL_ERROR "the install has the internal header ${path}")
  endif()
endforeach()
# The installed dumper reads a member of a bundled archive and names it.
run("the installed ofdump" "${prefix}/bin/ofdump" --only header "${SOURCE_DIR}/examples/libkite-filenames.a")
if(NOT output MATCHES "\nMEMBER:  [^\n]*libkite-filenames.a\\(kite_sample_object.qx\\)\n"
   OR NOT output MATCHES "Format: +QX-COFF Version 2\n")
  message(FATAL_ERROR "the installed ofdump printed:\n${output}")
endif()

build_against_install("the consumer" "${SOURCE_DIR}/tests/install/consumer" "${WORK_DIR}/build")
run("the shared library's user" "${WORK_DIR}/build/ofe_plugin_user" "${SOURCE_DIR}/examples/libsample.a")
if(NOT output STREQUAL "${SOURCE_DIR}/examples/libsample.a: 2 members\n")
  message(FATAL_ERROR "the shared library's user printed:\n${output}")
endif()

# The example programs build against the installed package, and list_sections reads a sample by its path.
build_against_install("the examples" "${SOURCE_DIR}/examples/library" "${WORK_DIR}/examples")
execute_process(COMMAND "${WORK_DIR}/examples/list_sections" kite-sample.qx WORKING_DIRECTORY "${SOURCE_DIR}/examples"
                RESULT_VARIABLE rc OUTPUT_VARIABLE output ERROR_VARIABLE errors)
if(NOT rc EQUAL 0 OR NOT errors STREQUAL "" OR NOT output MATCHES "^kite-sample.qx: QX-COFF, QX Kite, little endian\n"
   OR NOT output MATCHES "\n   1 \\.text +[0-9]+ units code, allocated\n"
   OR NOT output MATCHES "_main in \\.text\n")
  message(FATAL_ERROR "list_sections ended with ${rc} and printed\n${output}${errors}")
endif()
# build_kite_object writes a Kite object as ELF and as QXCOFF version 2; the installed nmkite lists both alike.
run("build_kite_object" "${WORK_DIR}/examples/build_kite_object" "${WORK_DIR}/kite.elf" "${WORK_DIR}/kite.qx")
run("the installed nmkite" "${prefix}/bin/nmkite" "${WORK_DIR}/kite.elf" "${WORK_DIR}/kite.qx")
# (ELF lists its null symbol 0 too.)
set(expected "00000000 D _counter\n00000000 T _main\n00000000 U _print\n")
if(NOT output STREQUAL "00000000 u \n${expected}${expected}")
  message(FATAL_ERROR "nmkite listed the objects build_kite_object wrote as\n${output}")
endif()
file(REMOVE_RECURSE "${WORK_DIR}")
