# Checks the Windows program's resources: exactly two, each resource 1 in
# US English, the version (type 16) and the manifest (type 24), and the
# version's strings. Run with cmake -P, given objdump, program, and the
# expected version, fileName and bits.
cmake_minimum_required(VERSION 3.25)

execute_process(COMMAND ${objdump} -p ${program} OUTPUT_VARIABLE headers COMMAND_ERROR_IS_FATAL ANY)
string(REGEX REPLACE ".*The .rsrc Resource Directory section:\n" "" resources "${headers}")
set(one "[^\n]*IDs: 1\n[^\n]*Entry: ID: 0x000001,[^\n]*\n[^\n]*IDs: 1\n[^\n]*Entry: ID: 0x000409,[^\n]*\n[^\n]*Leaf:")
if(NOT resources MATCHES "^[^\n]*Type Table: [^\n]*Num Names: 0, IDs: 2\n[^\n]*Entry: ID: 0x000010,[^\n]*\n${one}[^\n]*\n[^\n]*Entry: ID: 0x000018,[^\n]*\n${one}")
    message(FATAL_ERROR "${program} does not hold exactly its version and its manifest:\n${resources}")
endif()

# In the version, each string's value follows its key. Only plain words are
# kept, so that the program's other bytes make no list separators.
file(STRINGS ${program} texts ENCODING UTF-16LE REGEX "^[A-Za-z0-9 .()-]+$")
foreach(expected "FileVersion;${version}" "ProductVersion;${version}" "ProductName;asio-report"
        "OriginalFilename;${fileName}" "FileDescription;Reports the ${bits}-bit ASIO drivers")
    list(GET expected 0 key)
    list(GET expected 1 wanted)
    set(value "")
    list(FIND texts "${key}" at)
    if(at GREATER_EQUAL 0)
        math(EXPR at "${at} + 1")
        list(GET texts ${at} value)
    endif()
    if(NOT value STREQUAL wanted)
        message(FATAL_ERROR "${program}: ${key} is \"${value}\", not \"${wanted}\"")
    endif()
endforeach()
