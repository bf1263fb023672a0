# The distribution's hardening for the release build: fortified string and memory
# functions, stack protection, and relocations read-only and bound at start-up.
# Builds with sanitizers or for fuzzing (Sanitizers.cmake) and debug builds go without:
# the sanitizers bring their own checks, and _FORTIFY_SOURCE needs the optimiser.
if(NOT ZARN_SANITIZERS AND NOT ZARN_FUZZ AND CMAKE_BUILD_TYPE MATCHES "^(Release|RelWithDebInfo|MinSizeRel)$")
  add_compile_options(-U_FORTIFY_SOURCE -D_FORTIFY_SOURCE=2 -fstack-protector-strong)
  add_link_options(-Wl,-z,relro,-z,now)
endif()
