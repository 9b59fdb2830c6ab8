# The library's layers. Each layer folder is an OBJECT library, velmor_<layer>,
# whose target_link_libraries name the layers right below it: those edges are
# the layer table (docs/developer-guide.md, Architecture). The one static
# library velmorqrk is made of every layer's objects.
#
# Our includes are written from the repository root ("middleware/rpc_client.hpp"),
# so the root as an include directory would show every folder to every layer.
# Instead a layer compiles against an include root of its own,
# <build>/layers/<layer>/, holding symbolic links to its own folder and to
# those of the layers below it and to nothing else: an include that climbs a
# layer names a folder that is not there and fails to compile. A layer's
# installed headers (velmor/...) are a public include directory of its target,
# so only the layers above it see them too.

# velmor_layer(<folder> [BELOW <layer>...]): the layer of <folder>/, right
# above the layers named, which must be made first.
function(velmor_layer layer)
  cmake_parse_arguments(PARSE_ARGV 1 arg "" "" "BELOW")
  set(sees ${layer})
  set(below_targets)
  foreach(below IN LISTS arg_BELOW)
    get_property(below_sees GLOBAL PROPERTY VELMOR_LAYER_SEES_${below})
    if(NOT below_sees)
      message(FATAL_ERROR "velmor_layer(${layer}): no layer ${below} below it yet")
    endif()
    list(APPEND sees ${below_sees})
    list(APPEND below_targets velmor_${below})
  endforeach()
  list(REMOVE_DUPLICATES sees)
  set_property(GLOBAL PROPERTY VELMOR_LAYER_SEES_${layer} ${sees})

  # Made again at every configure, so a folder dropped from the table goes;
  # removing a link leaves the folder it points to alone.
  set(root ${PROJECT_BINARY_DIR}/layers/${layer})
  file(REMOVE_RECURSE ${root})
  file(MAKE_DIRECTORY ${root})
  foreach(folder IN LISTS sees)
    file(CREATE_LINK ${PROJECT_SOURCE_DIR}/${folder} ${root}/${folder} SYMBOLIC)
  endforeach()

  add_library(velmor_${layer} OBJECT)
  target_include_directories(velmor_${layer} PRIVATE ${root})
  target_link_libraries(velmor_${layer} PUBLIC ${below_targets} Threads::Threads ${_velmor_logging})
  velmor_warnings(velmor_${layer})
  set_property(GLOBAL APPEND PROPERTY VELMOR_LAYERS velmor_${layer})
endfunction()
