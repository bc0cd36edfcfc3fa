# Warning flags shared by every target of the project.
add_library(foldweb_warnings INTERFACE)
target_compile_options(foldweb_warnings INTERFACE
  -Wall                # the common set
  -Wextra              # unused parameters, sign comparisons and more
  -Wpedantic           # no compiler extensions
  -Wshadow             # a local hiding another name is usually a slip
  -Wnon-virtual-dtor   # classes with virtual slots are deleted through their base
  -Wold-style-cast     # casts say which kind they are
)
if(CMAKE_CXX_COMPILER_ID MATCHES "Clang")
  target_compile_options(foldweb_warnings INTERFACE
    -Wno-unknown-warning-option  # GCC-only names in '#pragma GCC diagnostic' are meant for g++
  )
endif()
option(FOLDWEB_WERROR "Treat warnings as errors" ON)
if(FOLDWEB_WERROR)
  target_compile_options(foldweb_warnings INTERFACE -Werror)
endif()
