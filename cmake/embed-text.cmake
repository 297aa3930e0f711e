# Writes a C++ source defining a text file's bytes as an array, so a program
# can carry the file inside it:
#   cmake -DINPUT=FILE -DOUTPUT=FILE.cpp -DHEADER=NAME.h -DNAMESPACE=NS -DNAME=kName -P embed-text.cmake
# defines NS::NAME (the bytes, no NUL added) and NS::NAMESize, as HEADER declares them.
file(READ "${INPUT}" hex HEX)
string(LENGTH "${hex}" digits)
math(EXPR size "${digits} / 2")
string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," bytes "${hex}")
# A line of source for each line of the file.
string(REPLACE "0x0a," "0x0a,\n" bytes "${bytes}")
file(WRITE "${OUTPUT}.tmp" "// Generated from ${INPUT} by embed-text.cmake; not edited by hand.
#include \"${HEADER}\"

namespace ${NAMESPACE} {
const unsigned char ${NAME}[] = {
${bytes}};
const size_t ${NAME}Size = ${size};
}  // namespace ${NAMESPACE}
")
file(RENAME "${OUTPUT}.tmp" "${OUTPUT}")
