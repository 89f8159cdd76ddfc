# Installs the build into a scratch prefix, runs the installed programs,
# builds and runs the examples against it as a separate project through
# find_package(Zorvat) and a C99 caller through pkg-config, then uninstalls.
set(prefix ${WORK_DIR}/prefix)
file(REMOVE_RECURSE ${WORK_DIR})

function(run)
  execute_process(COMMAND ${ARGN} RESULT_VARIABLE failed OUTPUT_VARIABLE out ERROR_VARIABLE err)
  if(failed)
    message(FATAL_ERROR "failed: ${ARGN}\n${out}\n${err}")
  endif()
  set(run_output "${out}" PARENT_SCOPE)
endfunction()

run(${CMAKE_COMMAND} --install ${BUILD_DIR} --prefix ${prefix})

# The installed programs find the installed library by themselves.
foreach(program zorvat-cli zorvat-server)
  if(EXISTS ${prefix}/bin/${program})
    run(${CMAKE_COMMAND} -E env --unset=LD_LIBRARY_PATH ${prefix}/bin/${program} --version)
    if(NOT run_output STREQUAL "${program} ${VERSION}\n")
      message(FATAL_ERROR "installed ${program} --version: ${run_output}")
    endif()
  endif()
endforeach()

# find_package: the examples, unchanged, as a project of their own.
run(${CMAKE_COMMAND} -S ${EXAMPLES_DIR} -B ${WORK_DIR}/examples -G ${GENERATOR}
    -DCMAKE_PREFIX_PATH=${prefix} -DCMAKE_C_COMPILER=${C_COMPILER})
run(${CMAKE_COMMAND} --build ${WORK_DIR}/examples)
run(${WORK_DIR}/examples/zorvat_records_tour)

# pkg-config: plain paths under the prefix, nothing relative to the .pc file.
find_program(PKG_CONFIG NAMES pkg-config pkgconf REQUIRED)
file(GLOB_RECURSE pc_files ${prefix}/*/zorvat.pc)
list(GET pc_files 0 pc_file)
get_filename_component(pc_dir ${pc_file} DIRECTORY)
get_filename_component(libdir ${pc_dir} DIRECTORY)
set(ENV{PKG_CONFIG_PATH} ${pc_dir})
run(${PKG_CONFIG} --cflags --libs zorvat)
string(STRIP "${run_output}" flags)
if(NOT flags MATCHES "^-I${prefix}/include -L${libdir} -lzorvat$")
  message(FATAL_ERROR "pkg-config --cflags --libs zorvat: ${flags}")
endif()
separate_arguments(flags UNIX_COMMAND "${flags}")
run(${C_COMPILER} -std=c99 ${C99_CONSUMER} ${flags} -o ${WORK_DIR}/pkg-consumer)
set(ENV{LD_LIBRARY_PATH} ${libdir})
run(${WORK_DIR}/pkg-consumer)

# The uninstall target removes every file the install put down.
run(${CMAKE_COMMAND} --build ${BUILD_DIR} --target uninstall)
file(GLOB_RECURSE left LIST_DIRECTORIES false ${prefix}/*)
if(left)
  message(FATAL_ERROR "left after uninstall: ${left}")
endif()
