# The decode area's generated code: C++ tables from data/codepages/.
set(decode_data_dir "${PROJECT_SOURCE_DIR}/data/codepages")
set(decode_generator "${PROJECT_SOURCE_DIR}/tools/gen_codepage_tables.py")
set(decode_tables_cpp "${CMAKE_CURRENT_BINARY_DIR}/generated/decode/codepage_tables.cpp")
file(GLOB decode_data_files CONFIGURE_DEPENDS "${decode_data_dir}/cp*.txt")
add_custom_command(
    OUTPUT "${decode_tables_cpp}"
    COMMAND "${Python3_EXECUTABLE}" "${decode_generator}" "${decode_data_dir}" "${decode_tables_cpp}"
    DEPENDS "${decode_generator}" ${decode_data_files}
    COMMENT "Generating code-page tables"
    VERBATIM)
target_sources(varnolt_decode PRIVATE "${decode_tables_cpp}")

# Encoding detection asks uchardet for its guess before our decoders decide;
# only decode knows it, so it links privately.
find_package(PkgConfig REQUIRED)
pkg_check_modules(UCHARDET REQUIRED IMPORTED_TARGET uchardet)
target_link_libraries(varnolt_decode PRIVATE PkgConfig::UCHARDET)
