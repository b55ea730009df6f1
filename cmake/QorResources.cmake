# qor_embed_resources(<target> <script>)
# Builds the resources that <script> lists into <target>: rcembed turns the script into a
# generated C++ source in the build tree, rebuilt whenever the script, any file it names
# or rcembed itself changes. The target must link the platform (qor_resources or
# qorplatform), which the generated source registers its table with.
function(qor_embed_resources target script)
  get_filename_component(script_path "${script}" ABSOLUTE BASE_DIR "${CMAKE_CURRENT_SOURCE_DIR}")
  set(out "${CMAKE_CURRENT_BINARY_DIR}/${target}_resources.cpp")
  add_custom_command(
    OUTPUT "${out}"
    COMMAND rcembed "${script_path}" "${out}" "${out}.d"
    DEPENDS rcembed "${script_path}"
    DEPFILE "${out}.d"
    COMMENT "Embedding the resources of ${target}"
    VERBATIM)
  target_sources(${target} PRIVATE "${out}")
  set_source_files_properties("${out}" TARGET_DIRECTORY ${target} PROPERTIES
    INCLUDE_DIRECTORIES "${PROJECT_SOURCE_DIR}/platform/resources")
endfunction()
