# One library per folder, each seeing only the folders of the libraries it
# links. The source root is on no include path: a library exposes its own
# folder through a folder of the build tree holding a symbolic link to it, so
# "#include \"app/dodivez.h\"" builds in app/ and above, nowhere below.

set(VIZIRO_LAYERS_DIR ${CMAKE_BINARY_DIR}/layers)

# Makes <folder> (relative to the source root, e.g. editor/core) visible to
# <target> and, unless PRIVATE is given, to whatever links it.
function(viziro_expose target folder)
  set(_scope PUBLIC)
  if(ARGV2 STREQUAL "PRIVATE")
    set(_scope PRIVATE)
  endif()
  get_target_property(_type ${target} TYPE)
  if(_type STREQUAL "INTERFACE_LIBRARY")
    set(_scope INTERFACE)
  endif()
  set(_root ${VIZIRO_LAYERS_DIR}/${target})
  set(_link ${_root}/${folder})
  get_filename_component(_parent ${_link} DIRECTORY)
  file(MAKE_DIRECTORY ${_parent})
  if(NOT IS_SYMLINK ${_link})
    file(CREATE_LINK ${CMAKE_SOURCE_DIR}/${folder} ${_link} SYMBOLIC)
  endif()
  target_include_directories(${target} ${_scope} ${_root})
endfunction()

# viziro_layer(<target> <folder> [WIDGETS] [LINKS <libraries>...]
#              [EXTRA <sources>...] [EXCLUDE <sources>...]): a static library
# of <folder>'s own sources (not its subfolders'), WIDGETS if it may use Qt
# Widgets.
function(viziro_layer target folder)
  cmake_parse_arguments(_layer "WIDGETS" "" "LINKS;EXTRA;EXCLUDE" ${ARGN})
  file(GLOB _sources CONFIGURE_DEPENDS
       ${CMAKE_SOURCE_DIR}/${folder}/*.cpp ${CMAKE_SOURCE_DIR}/${folder}/*.h)
  foreach(_excluded ${_layer_EXCLUDE})
    list(REMOVE_ITEM _sources ${CMAKE_SOURCE_DIR}/${_excluded})
  endforeach()
  add_library(${target} STATIC ${_sources} ${_layer_EXTRA})
  viziro_expose(${target} ${folder})
  target_link_libraries(${target} PUBLIC ${_layer_LINKS})
  if(_layer_WIDGETS)
    target_link_libraries(${target} PUBLIC Qt6::Widgets)
  endif()
endfunction()
