# The checked build: AddressSanitizer (leaks included) and UndefinedBehavior-
# Sanitizer over the whole tree. A report ends the program with an error, so a
# test that provokes one fails.
if(NOT TAMROC_SANITIZE)
    return()
endif()
if(MSVC)
    message(FATAL_ERROR "TAMROC_SANITIZE needs GCC or Clang")
endif()
set(TAMROC_SANITIZER_FLAGS
    -fsanitize=address,undefined,float-cast-overflow
    -fno-sanitize-recover=all
    -fno-omit-frame-pointer
    -O1)
add_compile_options(${TAMROC_SANITIZER_FLAGS})
add_link_options(-fsanitize=address,undefined,float-cast-overflow)

# Every program of this build reads its sanitizer settings, the suppressions
# file included, from code compiled into it: a test started by hand reports
# exactly what CTest would.
add_library(TamrocSanitizerDefaults INTERFACE)
target_sources(TamrocSanitizerDefaults INTERFACE ${PROJECT_SOURCE_DIR}/cmake/SanitizerDefaults.cpp)
find_program(TAMROC_SYMBOLIZER NAMES llvm-symbolizer llvm-symbolizer-14
             PATHS /usr/lib/llvm-14/bin)
set(symbolizer_option "")
if(TAMROC_SYMBOLIZER)
    set(symbolizer_option ":external_symbolizer_path=${TAMROC_SYMBOLIZER}")
endif()
target_compile_definitions(TamrocSanitizerDefaults INTERFACE
    TAMROC_LSAN_SUPPRESSIONS="${PROJECT_SOURCE_DIR}/cmake/lsan.supp"
    TAMROC_SYMBOLIZER_OPTION="${symbolizer_option}")
link_libraries(TamrocSanitizerDefaults)
