# Every target of the project builds with warnings as errors.
# (C and C++ only: the resource compiler takes none of these.)
add_compile_options("$<$<COMPILE_LANGUAGE:C,CXX>:-Wall;-Wextra;-Wpedantic;-Wshadow;-Wnon-virtual-dtor;-Werror>")
