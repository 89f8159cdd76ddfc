# Installed with the Windows package and read by ZorvatConfig.cmake: callers
# built with Microsoft's toolchains (cl, clang-cl, clang targeting *-msvc)
# link through Zorvat.lib; MinGW keeps the targets' libzorvat.dll.a.
if(NOT (MSVC OR CMAKE_C_SIMULATE_ID STREQUAL "MSVC" OR CMAKE_CXX_SIMULATE_ID STREQUAL "MSVC"))
  return()
endif()
get_filename_component(_zorvat_prefix "${CMAKE_CURRENT_LIST_DIR}/../../.." ABSOLUTE)
get_target_property(_zorvat_configurations Zorvat::zorvat IMPORTED_CONFIGURATIONS)
foreach(_zorvat_configuration IN LISTS _zorvat_configurations)
  set_property(TARGET Zorvat::zorvat PROPERTY
    IMPORTED_IMPLIB_${_zorvat_configuration} "${_zorvat_prefix}/lib/Zorvat.lib")
endforeach()
set_property(TARGET Zorvat::zorvat PROPERTY IMPORTED_IMPLIB "${_zorvat_prefix}/lib/Zorvat.lib")
unset(_zorvat_prefix)
unset(_zorvat_configurations)
