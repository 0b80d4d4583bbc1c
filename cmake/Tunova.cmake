# Shared build settings and the helpers every folder uses.

set(TUNOVA_ROOT ${CMAKE_SOURCE_DIR})

add_library(tunova_options INTERFACE)
target_include_directories(tunova_options INTERFACE ${CMAKE_SOURCE_DIR})
target_compile_options(tunova_options INTERFACE -Wall -Wextra -Wpedantic)
target_link_libraries(tunova_options INTERFACE Threads::Threads)

if(TUNOVA_SANITIZE)
  add_compile_options(-fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined)
  add_link_options(-fsanitize=address,undefined)
  # g++ 12 with the sanitizers reports false "may be used uninitialized" inside libstdc++'s <regex>.
  if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU")
    add_compile_options(-Wno-maybe-uninitialized)
  endif()
endif()
if(TUNOVA_TSAN)
  add_compile_options(-fsanitize=thread -fno-omit-frame-pointer)
  add_link_options(-fsanitize=thread)
endif()
if(TUNOVA_FUZZ)
  add_compile_options(-fsanitize=fuzzer-no-link,address,undefined -fno-omit-frame-pointer)
  add_link_options(-fsanitize=address,undefined)
endif()

# tunova_folder_library(<target> [EXCLUDE <regex>] [LINKS <targets>...])
# One static library per folder, from every .cpp below the folder. A folder
# without sources yet gives an interface library so that users can name it.
function(tunova_folder_library target)
  cmake_parse_arguments(ARG "" "EXCLUDE" "LINKS" ${ARGN})
  file(GLOB_RECURSE sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp)
  if(ARG_EXCLUDE)
    list(FILTER sources EXCLUDE REGEX "${ARG_EXCLUDE}")
  endif()
  if(sources)
    add_library(${target} STATIC ${sources})
    target_link_libraries(${target} PUBLIC tunova_options ${ARG_LINKS})
  else()
    add_library(${target} INTERFACE)
    target_link_libraries(${target} INTERFACE tunova_options ${ARG_LINKS})
  endif()
endfunction()
