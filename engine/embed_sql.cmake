# Writes the text of an SQL file into a C++ header as a string constant, so
# that SQL the engine sends to a store lives in .sql files of its own and
# still travels inside the library. The constant holds a newline followed
# by the file's bytes exactly (what a raw string literal opened on a line of
# its own holds): the texts are hashed into the version a server's catalog
# records, so not one byte may change on the way.
# Run as: cmake -DINPUT=<file.sql> -DOUTPUT=<header.h> -DNAME=<constant> -P embed_sql.cmake
foreach(arg INPUT OUTPUT NAME)
  if(NOT DEFINED ${arg})
    message(FATAL_ERROR "embed_sql.cmake needs -D${arg}=...")
  endif()
endforeach()
file(READ "${INPUT}" text)
# The raw string's closing sequence must not occur in the text.
set(delimiter "nce_sql")
string(FIND "${text}" ")${delimiter}\"" clash)
if(NOT clash EQUAL -1)
  message(FATAL_ERROR "${INPUT} holds )${delimiter}\", which would end the embedded text early")
endif()
string(MAKE_C_IDENTIFIER "EMBEDDED_${NAME}_H" guard)
string(TOUPPER "${guard}" guard)
file(WRITE "${OUTPUT}.tmp"
     "// Generated from ${INPUT} by engine/embed_sql.cmake; edit the .sql file.\n"
     "#ifndef ${guard}\n#define ${guard}\n\n#include <string_view>\n\n"
     "namespace nce {\n\ninline constexpr std::string_view ${NAME} = R\"${delimiter}(\n"
     "${text})${delimiter}\";\n\n}  // namespace nce\n\n#endif  // ${guard}\n")
file(COPY_FILE "${OUTPUT}.tmp" "${OUTPUT}" ONLY_IF_DIFFERENT)
file(REMOVE "${OUTPUT}.tmp")
