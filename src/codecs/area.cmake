# Codecs: the HTML entity table is generated at build time from data/entities/.
set(varnolt_entity_data "${PROJECT_SOURCE_DIR}/data/entities/html401_entities.txt")
set(varnolt_entity_cpp "${CMAKE_CURRENT_BINARY_DIR}/generated/codecs/html_entity_table.cpp")
add_custom_command(
    OUTPUT "${varnolt_entity_cpp}"
    COMMAND "${CMAKE_COMMAND}" -E make_directory "${CMAKE_CURRENT_BINARY_DIR}/generated/codecs"
    COMMAND "${Python3_EXECUTABLE}" "${PROJECT_SOURCE_DIR}/tools/gen_entity_table.py"
            "${varnolt_entity_data}" "${varnolt_entity_cpp}"
    DEPENDS "${varnolt_entity_data}" "${PROJECT_SOURCE_DIR}/tools/gen_entity_table.py"
    COMMENT "Generating the HTML entity table"
    VERBATIM)
target_sources(varnolt_codecs PRIVATE "${varnolt_entity_cpp}")
