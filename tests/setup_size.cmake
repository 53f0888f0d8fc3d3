# Fails when the file FILE is larger than LIMIT bytes; says how large it is and
# how much is left below the limit.
#   cmake -DFILE=Setup.exe -DLIMIT=110592 -P setup_size.cmake
file(SIZE "${FILE}" size)
math(EXPR left "${LIMIT} - ${size}")
if(size GREATER LIMIT)
    math(EXPR over "${size} - ${LIMIT}")
    message(FATAL_ERROR "${FILE}: ${size} bytes, over the limit of ${LIMIT} by ${over} bytes")
endif()
message("${FILE}: ${size} bytes, limit ${LIMIT}, ${left} bytes left")
