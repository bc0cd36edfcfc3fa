# SANITIZER=address,undefined builds every target with those sanitizers.
set(SANITIZER "" CACHE STRING "Comma-separated sanitizers (address, undefined, ...)")
add_library(foldweb_sanitizers INTERFACE)
if(SANITIZER)
  target_compile_options(foldweb_sanitizers INTERFACE
    -fsanitize=${SANITIZER}
    -fno-omit-frame-pointer        # readable stacks in reports
    -fno-sanitize-recover=all)     # a finding fails the test instead of scrolling by
  target_link_options(foldweb_sanitizers INTERFACE -fsanitize=${SANITIZER})
endif()

# Every project target links this one.
add_library(foldweb_options INTERFACE)
target_link_libraries(foldweb_options INTERFACE foldweb_warnings foldweb_sanitizers)
target_include_directories(foldweb_options INTERFACE ${PROJECT_SOURCE_DIR})
