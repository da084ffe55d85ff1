# find_package(Quorvane) for plug-in authors. Gives the target Quorvane::SDK
# (the interface header and Qt Core) and quorvane_add_plugin(name sources...),
# which builds a component Quorvane<Name>.so ready for a PlugIns/ folder.
include(CMakeFindDependencyMacro)
find_dependency(Qt6 COMPONENTS Core)

get_filename_component(_quorvane_prefix "${CMAKE_CURRENT_LIST_DIR}/../../.." ABSOLUTE)
if(NOT TARGET Quorvane::SDK)
  add_library(Quorvane::SDK INTERFACE IMPORTED)
  set_target_properties(Quorvane::SDK PROPERTIES
                        INTERFACE_INCLUDE_DIRECTORIES "${_quorvane_prefix}/include"
                        INTERFACE_LINK_LIBRARIES Qt6::Core)
endif()

function(quorvane_add_plugin target)
  add_library(${target} MODULE ${ARGN})
  set_target_properties(${target} PROPERTIES PREFIX "" AUTOMOC ON)
  target_link_libraries(${target} PRIVATE Quorvane::SDK)
endfunction()
