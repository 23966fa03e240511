if(ZARN_SANITIZE)
  add_compile_options(-fsanitize=address,undefined -fno-sanitize-recover=undefined
                      -fno-omit-frame-pointer)
  add_link_options(-fsanitize=address,undefined)
endif()

find_package(GTest REQUIRED)
find_package(nlohmann_json REQUIRED)
set(ZARN_HEADER_ONLY_INCLUDE "")
